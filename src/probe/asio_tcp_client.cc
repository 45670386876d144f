#include "probe/asio_tcp_client.h"

#include <array>
#include <asio.hpp>
#include <cerrno>
#include <cstddef>
#include <limits>
#include <optional>
#include <utility>
#include <vector>

#include "platform/local_shortage.h"
#include "platform/system_error_text.h"
#include "probe/client_event_queue.h"
#include "probe/socket_identity.h"

// The resolver's codes (EAI_*): Asio brings the Winsock headers that define
// them on Windows.
#ifndef _WIN32
#include <netdb.h>
#endif

namespace vornask {

namespace {

using asio::ip::tcp;

// The system's own codes: errno values here, Winsock codes on Windows.
const int kRefused = asio::error_code(asio::error::connection_refused).value();

// This machine ran short of something (descriptors, buffers, memory): the
// target was never really tried. Only the system's own codes count: Asio's
// other categories number their errors from 1 as well.
bool NoResourcesHere(const asio::error_code& error) {
  return error.category() == asio::system_category() && IsLocalShortage(error.value());
}

// Events carry codes as int16; a failure must never read as success, so a
// code that does not fit (or a missing one) becomes something non-zero.
std::int16_t FailureCode(int code) {
  if (code == 0) return EIO;
  if (code < std::numeric_limits<std::int16_t>::min() || code > std::numeric_limits<std::int16_t>::max()) {
    return std::numeric_limits<std::int16_t>::max();
  }
  return static_cast<std::int16_t>(code);
}

// RFC 8305 section 4: alternate the families, starting with the one the
// resolver put first, so that one broken family costs a single delay.
std::vector<tcp::endpoint> Interleaved(const std::vector<tcp::endpoint>& resolved) {
  std::vector<tcp::endpoint> first;
  std::vector<tcp::endpoint> other;
  for (const tcp::endpoint& endpoint : resolved) {
    (endpoint.protocol() == resolved.front().protocol() ? first : other).push_back(endpoint);
  }
  std::vector<tcp::endpoint> ordered;
  ordered.reserve(resolved.size());
  for (std::size_t i = 0; i < first.size() || i < other.size(); ++i) {
    if (i < first.size()) ordered.push_back(first[i]);
    if (i < other.size()) ordered.push_back(other[i]);
  }
  return ordered;
}

// Handlers a single DeliverPendingEvents may run at most. It keeps a slice
// short even when a peer floods the link with data we only throw away.
constexpr int kMaxHandlersPerDelivery = 256;

}  // namespace

class AsioTcpClient::Impl {
 public:
  explicit Impl(Options options)
      : options_(std::move(options)), lookup_(options_.lookup), work_(asio::make_work_guard(io_)), stagger_(io_) {
    // A finished lookup wakes a waiting AwaitActivity.
    lookup_.SetNotifier([this] { asio::post(io_, [] {}); });
  }
  // Before the io_context goes: no lookup thread may post to it any more.
  ~Impl() { lookup_.SetNotifier(nullptr); }
  Impl(const Impl&) = delete;
  Impl& operator=(const Impl&) = delete;
  Impl(Impl&&) = delete;
  Impl& operator=(Impl&&) = delete;

  bool AwaitActivity(std::chrono::milliseconds timeout) {
    const auto until = std::chrono::steady_clock::now() + timeout;
    // Handlers that only move an attempt on (a stagger, data read and thrown
    // away) run here and keep the wait going; what the caller must deliver
    // ends it.
    while (events_.empty() && !(phase_ == Phase::kResolving && lookup_.ResultReady())) {
      if (io_.run_one_until(until) == 0) return !events_.empty();
    }
    return true;
  }

  bool LinkUp() const { return events_.link_up(); }
  const std::string& PeerHost() const { return peer_host_; }
  std::int32_t PeerPort() const { return peer_port_; }

  void Connect(const std::string& host, std::int32_t port) {
    Abandon();
    peer_host_ = host;
    peer_port_ = port;
    if (port < 1 || port > 65535) {
      Fail(EAI_SERVICE);
      return;
    }
    port_ = static_cast<std::uint16_t>(port);
    // getaddrinfo reads an empty name as loopback; a target without a host
    // must not quietly become this machine.
    if (host.empty()) {
      Fail(EAI_NONAME);
      return;
    }
    asio::error_code not_numeric;
    const asio::ip::address address = asio::ip::make_address(host, not_numeric);
    if (!not_numeric) {
      StartConnecting({tcp::endpoint(address, port_)});
      return;
    }
    phase_ = Phase::kResolving;
    lookup_.Start(host);
  }

  void Disconnect() {
    if (!events_.link_up()) return;
    events_.TakeLinkDown();
    // When the peer already closed, its disconnection is queued and counts
    // as this one.
    if (phase_ != Phase::kLinked) return;
    CloseLink();
    events_.Push(ClientEvent::DisconnectedOnRequest());
  }

  void DeliverPendingEvents(TcpClientEvents& events) {
    for (int run = 0; run < kMaxHandlersPerDelivery && io_.poll_one() != 0; ++run) {
    }
    if (phase_ == Phase::kResolving) {
      if (std::optional<LookupResult> result = lookup_.TakeResult()) Resolved(*result);
    }
    events_.DeliverAll(events);
  }

 private:
  // kLinked: one socket is connected and watched; it stays so until the peer
  // ends it, Disconnect, or the next Connect.
  enum class Phase { kIdle, kResolving, kConnecting, kLinked };

  // One address being tried.
  struct Racer {
    Racer(asio::io_context& io, const tcp::endpoint& to) : socket(io), endpoint(to) {}
    tcp::socket socket;
    tcp::endpoint endpoint;
    bool in_flight = true;
  };

  // Ends the current attempt without a word. Handlers already queued for it
  // still run later; the new attempt number makes them do nothing.
  void Abandon() {
    ++attempt_;
    local_failure_told_ = false;
    lookup_.Abandon();
    stagger_.cancel();
    racers_.clear();
    endpoints_.clear();
    CloseLink();
    events_.DropAttempt();
  }

  void CloseLink() {
    if (link_) {
      asio::error_code ignored;
      link_->close(ignored);
      link_.reset();
    }
    if (phase_ == Phase::kLinked) phase_ = Phase::kIdle;
  }

  // The attempt's one completion, a failure.
  void Fail(int code) {
    stagger_.cancel();
    racers_.clear();
    endpoints_.clear();
    phase_ = Phase::kIdle;
    events_.Push(ClientEvent::Connected(FailureCode(code)));
  }

  // This machine could not try the target. Said as an error first, so that
  // it is never mistaken for an answer from the target.
  void LocalFailure(int code, std::string description) {
    // Once per attempt: a name with several addresses fails the same way
    // for each of them.
    if (local_failure_told_) return;
    local_failure_told_ = true;
    events_.Push(ClientEvent::Error(FailureCode(code), std::move(description), ErrorOrigin::kLocal));
  }

  void Resolved(const LookupResult& result) {
    if (result.local_failure) {
      LocalFailure(result.error, result.description.empty() ? SystemErrorText(result.error) : result.description);
    }
    if (result.error != 0) {
      Fail(result.error);
      return;
    }
    std::vector<tcp::endpoint> resolved;
    for (const std::string& text : result.addresses) {
      asio::error_code bad;
      const asio::ip::address address = asio::ip::make_address(text, bad);
      if (!bad) resolved.emplace_back(address, port_);
    }
    if (resolved.empty()) {
      Fail(EAI_NONAME);
      return;
    }
    StartConnecting(Interleaved(resolved));
  }

  void StartConnecting(std::vector<tcp::endpoint> endpoints) {
    phase_ = Phase::kConnecting;
    endpoints_ = std::move(endpoints);
    next_endpoint_ = 0;
    last_error_ = kRefused;
    StartNextRacer();
  }

  // Starts the next address not yet tried; with none left, fails the attempt
  // once nothing is in flight any more.
  void StartNextRacer() {
    while (next_endpoint_ < endpoints_.size()) {
      const tcp::endpoint endpoint = endpoints_[next_endpoint_++];
      peer_host_ = endpoint.address().to_string();
      auto racer = std::make_unique<Racer>(io_, endpoint);
      asio::error_code failed;
      racer->socket.open(endpoint.protocol(), failed);
      if (failed) {
        if (NoResourcesHere(failed)) LocalFailure(failed.value(), SystemErrorText(failed.value()));
        last_error_ = failed.value();
        continue;
      }
      const std::size_t index = racers_.size();
      racers_.push_back(std::move(racer));
      racers_.back()->socket.async_connect(endpoint, [this, attempt = attempt_, index](const asio::error_code& result) {
        RacerDone(attempt, index, result);
      });
      ArmStagger();
      return;
    }
    stagger_.cancel();
    for (const auto& racer : racers_) {
      if (racer->in_flight) return;
    }
    Fail(last_error_);
  }

  // RFC 8305 section 5: an address that neither succeeds nor fails within
  // the delay gets company, so one silent address cannot eat the caller's
  // whole deadline.
  void ArmStagger() {
    if (next_endpoint_ >= endpoints_.size()) {
      stagger_.cancel();
      return;
    }
    stagger_.expires_after(options_.attempt_delay);
    // A cancelled wait whose expiry is already queued still runs its handler
    // with success; the arming number tells it apart from the current one.
    stagger_.async_wait([this, attempt = attempt_, arming = ++stagger_arming_](const asio::error_code& result) {
      if (result || attempt != attempt_ || arming != stagger_arming_ || phase_ != Phase::kConnecting) return;
      StartNextRacer();
    });
  }

  void RacerDone(std::uint64_t attempt, std::size_t index, asio::error_code result) {
    if (attempt != attempt_ || phase_ != Phase::kConnecting || index >= racers_.size()) return;
    Racer& racer = *racers_[index];
    if (!racer.in_flight) return;
    racer.in_flight = false;
    if (!result) {
      const auto handle = static_cast<std::intptr_t>(racer.socket.native_handle());
      result.assign(ConnectedStatus(handle), asio::system_category());
    }
    if (!result) {
      Won(racer, {});
      return;
    }
#ifdef _WIN32
    // Windows reports a connection the peer reset before the connect
    // completed as a deleted network name.
    if (result.value() == ERROR_NETNAME_DELETED) result = asio::error::connection_reset;
#endif
    // A refusal reads ECONNREFUSED. A reset or broken pipe can only hit a
    // connection that was already established: the peer accepted and then
    // dropped it before we looked. The target was reached.
    if (result == asio::error::connection_reset || result == asio::error::broken_pipe) {
      Won(racer, result);
      return;
    }
    if (NoResourcesHere(result)) LocalFailure(result.value(), SystemErrorText(result.value()));
    last_error_ = result.value();
    peer_host_ = racer.endpoint.address().to_string();
    asio::error_code ignored;
    racer.socket.close(ignored);
    StartNextRacer();
  }

  // `lost`: how the link already ended, if it did.
  void Won(Racer& winner, const asio::error_code& lost) {
    peer_host_ = winner.endpoint.address().to_string();
    link_.emplace(std::move(winner.socket));
    stagger_.cancel();
    racers_.clear();
    endpoints_.clear();
    phase_ = Phase::kLinked;
    events_.Push(ClientEvent::Connected(0));
    if (lost) {
      LinkLost(lost);
    } else {
      Watch();
    }
  }

  void LinkLost(const asio::error_code& how) {
    if (how != asio::error::eof) {
      const std::string text = how.category() == asio::system_category() ? SystemErrorText(how.value()) : how.message();
      events_.Push(ClientEvent::Error(FailureCode(how.value()), text));
    }
    events_.Push(ClientEvent::Disconnected());
    CloseLink();
  }

  // A pending read is how a close or reset by the peer gets noticed; what
  // it reads is of no interest.
  void Watch() {
    link_->async_read_some(asio::buffer(discard_),
                           [this, attempt = attempt_](const asio::error_code& result, std::size_t) {
                             if (attempt != attempt_ || phase_ != Phase::kLinked) return;
                             if (result) {
                               LinkLost(result);
                             } else {
                               Watch();
                             }
                           });
  }

  Options options_;
  BackgroundLookup lookup_;
  // Outlives every socket and timer below: they still need it while closing.
  // One thread only ever runs it.
  asio::io_context io_{1};
  // Keeps poll_one from treating an idle client as finished for good.
  asio::executor_work_guard<asio::io_context::executor_type> work_;
  asio::steady_timer stagger_;
  std::uint64_t stagger_arming_ = 0;

  std::uint64_t attempt_ = 0;
  Phase phase_ = Phase::kIdle;
  std::string peer_host_;
  std::int32_t peer_port_ = 0;
  std::uint16_t port_ = 0;
  std::vector<tcp::endpoint> endpoints_;
  std::size_t next_endpoint_ = 0;
  int last_error_ = kRefused;
  std::vector<std::unique_ptr<Racer>> racers_;
  std::array<char, 4096> discard_{};
  std::optional<tcp::socket> link_;
  bool local_failure_told_ = false;
  ClientEventQueue events_;
};

AsioTcpClient::AsioTcpClient() : AsioTcpClient(Options{}) {}
AsioTcpClient::AsioTcpClient(Options options) : impl_(std::make_unique<Impl>(std::move(options))) {}
AsioTcpClient::~AsioTcpClient() = default;

bool AsioTcpClient::LinkUp() { return impl_->LinkUp(); }
bool AsioTcpClient::AwaitActivity(std::chrono::milliseconds timeout) { return impl_->AwaitActivity(timeout); }
void AsioTcpClient::Connect(const std::string& host, std::int32_t port) { impl_->Connect(host, port); }
void AsioTcpClient::Disconnect() { impl_->Disconnect(); }
std::string AsioTcpClient::PeerHost() { return impl_->PeerHost(); }
std::int32_t AsioTcpClient::PeerPort() { return impl_->PeerPort(); }
void AsioTcpClient::DeliverPendingEvents(TcpClientEvents& events) { impl_->DeliverPendingEvents(events); }

}  // namespace vornask
