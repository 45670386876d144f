#include "support/loopback.h"

#include <stdexcept>
#include <utility>

#include "support/loopback_sockets.h"

namespace vornask::testing {

namespace {

struct SocketAddress {
  sockaddr_storage storage{};
  socklen_t length = 0;
  int family() const { return storage.ss_family; }
  const sockaddr* get() const { return reinterpret_cast<const sockaddr*>(&storage); }
};

SocketAddress LoopbackAddress(const std::string& address, std::uint16_t port) {
  SocketAddress result;
  auto& v4 = reinterpret_cast<sockaddr_in&>(result.storage);
  auto& v6 = reinterpret_cast<sockaddr_in6&>(result.storage);
  if (::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
    if ((ntohl(v4.sin_addr.s_addr) >> 24) != 127) throw std::runtime_error("not a loopback address: " + address);
    v4.sin_family = AF_INET;
    v4.sin_port = htons(port);
    result.length = sizeof v4;
  } else if (::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
    if (!IN6_IS_ADDR_LOOPBACK(&v6.sin6_addr)) throw std::runtime_error("not a loopback address: " + address);
    v6.sin6_family = AF_INET6;
    v6.sin6_port = htons(port);
    result.length = sizeof v6;
  } else {
    throw std::runtime_error("not a numeric address: " + address);
  }
  return result;
}

UniqueFd BoundSocket(const std::string& address, std::uint16_t port) {
  const SocketAddress at = LoopbackAddress(address, port);
  UniqueFd socket = OpenStreamSocket(at.family());
  if (::bind(Native(socket.get()), at.get(), at.length) != 0) {
    ThrowSocketError("bind " + address + " port " + std::to_string(port));
  }
  return socket;
}

}  // namespace

UniqueFd& UniqueFd::operator=(UniqueFd&& other) noexcept {
  if (this != &other) {
    Reset();
    fd_ = other.Release();
  }
  return *this;
}

std::intptr_t UniqueFd::Release() { return std::exchange(fd_, -1); }

void UniqueFd::Reset() {
  if (fd_ >= 0) CloseNative(std::exchange(fd_, -1));
}

std::uint16_t LocalPort(std::intptr_t fd) {
  sockaddr_storage local{};
  socklen_t length = sizeof local;
  if (::getsockname(Native(fd), reinterpret_cast<sockaddr*>(&local), &length) != 0) ThrowSocketError("getsockname");
  return local.ss_family == AF_INET6 ? ntohs(reinterpret_cast<const sockaddr_in6&>(local).sin6_port)
                                     : ntohs(reinterpret_cast<const sockaddr_in&>(local).sin_port);
}

UniqueFd UnconnectedSocket() { return OpenStreamSocket(AF_INET); }

std::uint16_t FreeLoopbackPort(const std::string& address) { return LocalPort(BoundSocket(address, 0).get()); }

UniqueFd ConnectLoopback(const std::string& address, std::uint16_t port, std::uint16_t local_port) {
  const SocketAddress to = LoopbackAddress(address, port);
  UniqueFd socket = local_port != 0 ? BoundSocket(address, local_port) : OpenStreamSocket(to.family());
  if (::connect(Native(socket.get()), to.get(), to.length) != 0) {
    ThrowSocketError("connect " + address + " port " + std::to_string(port));
  }
  return socket;
}

void ResetConnection(UniqueFd& connection) {
  SetAbortiveClose(connection.get());
  connection.Reset();
}

RefusingPort::RefusingPort(std::string address, std::uint16_t port)
    : address_(std::move(address)), socket_(BoundSocket(address_, port)), port_(LocalPort(socket_.get())) {}

LoopbackListener::LoopbackListener(Behaviour behaviour, std::string address, std::uint16_t port)
    : behaviour_(behaviour), address_(std::move(address)), listener_(BoundSocket(address_, port)) {
  port_ = LocalPort(listener_.get());
  if (behaviour_ == Behaviour::kSilent) {
    // Backlog 0 still admits one connection to the queue; the filler takes
    // that place and, never accepted, keeps it.
    if (::listen(Native(listener_.get()), 0) != 0) ThrowSocketError("listen");
    filler_ = ConnectLoopback(address_, port_);
    return;
  }
  if (::listen(Native(listener_.get()), SOMAXCONN) != 0) ThrowSocketError("listen");
  wait_ = std::make_unique<AcceptWait>(listener_.get());
  acceptor_ = std::thread([this] { AcceptLoop(); });
}

LoopbackListener::~LoopbackListener() {
  if (acceptor_.joinable()) {
    wait_->Wake();
    acceptor_.join();
  }
}

void LoopbackListener::AcceptLoop() {
  while (wait_->Next()) {
    UniqueFd connection = AcceptWaiting(listener_.get());
    if (connection.get() < 0) continue;
    std::lock_guard lock(mutex_);
    switch (behaviour_) {
      case Behaviour::kAcceptThenClose:
        connection.Reset();
        break;
      case Behaviour::kAcceptThenReset:
        ResetConnection(connection);
        break;
      default:
        held_.push_back(std::move(connection));
        break;
    }
    ++accepted_;
    accepted_changed_.notify_all();
  }
}

int LoopbackListener::accepted() const {
  std::lock_guard lock(mutex_);
  return accepted_;
}

bool LoopbackListener::WaitForAccepted(int count, std::chrono::milliseconds bound) const {
  std::unique_lock lock(mutex_);
  return accepted_changed_.wait_for(lock, bound, [&] { return accepted_ >= count; });
}

void LoopbackListener::CloseHeld() {
  std::lock_guard lock(mutex_);
  held_.clear();
}

void LoopbackListener::ResetHeld() {
  std::lock_guard lock(mutex_);
  for (UniqueFd& connection : held_) ResetConnection(connection);
  held_.clear();
}

bool LoopbackListener::WaitForPeerClose(std::chrono::milliseconds bound) {
  std::vector<std::intptr_t> open;
  {
    std::lock_guard lock(mutex_);
    for (const UniqueFd& connection : held_) open.push_back(connection.get());
  }
  if (open.empty()) return false;
  return WaitForPeersToClose(open, bound);
}

}  // namespace vornask::testing
