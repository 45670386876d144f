// A TCP client whose events happen at chosen virtual times and whose members
// can be made to fail, for driving whole runs deterministically.
#pragma once

#include <cstdint>
#include <functional>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "probe/client_event_queue.h"
#include "probe/tcp_client.h"
#include "support/virtual_env.h"

namespace vornask::testing {

// An event the client reports, handed over by the real client's delivery,
// or something the test does at that time.
struct ScriptedEvent {
  ClientEvent event;
  std::function<void()> action;  // when set: run instead of reporting `event`

  static ScriptedEvent Connected(std::int16_t status) { return {ClientEvent::Connected(status), {}}; }
  static ScriptedEvent Disconnected() { return {ClientEvent::Disconnected(), {}}; }
  static ScriptedEvent Error(std::int16_t code, std::string text, ErrorOrigin origin = ErrorOrigin::kConnection) {
    return {ClientEvent::Error(code, std::move(text), origin), {}};
  }
};

class ScriptedClient final : public TcpClient {
 public:
  explicit ScriptedClient(VirtualEnv& env) : env_(env) {}

  // The reply to the next Connect call not yet given one: a completion with
  // `status` delivered `after_ms` later. A Connect with no reply stays silent.
  void ReplyToConnect(std::int16_t status, std::int64_t after_ms) { replies_.push_back({status, after_ms}); }
  void ReplySilence() { replies_.push_back({0, -1}); }
  // Any event at an absolute virtual time (ms of the virtual clock).
  void At(std::int64_t at_ms, ScriptedEvent event) { Schedule(at_ms, std::move(event)); }
  // Something the test does at a virtual time, such as removing the trace.
  void AtDo(std::int64_t at_ms, std::function<void()> action) { Schedule(at_ms, {ClientEvent{}, std::move(action)}); }

  bool LinkUp() override {
    if (fail_link_up > 0) {
      --fail_link_up;
      throw std::runtime_error("LinkUp failed");
    }
    return delivery_.link_up();
  }
  void Connect(const std::string& host, std::int32_t port) override;
  void Disconnect() override;
  std::string PeerHost() override {
    if (fail_peer_host) throw std::runtime_error("PeerHost failed");
    return peer_host_;
  }
  std::int32_t PeerPort() override { return peer_port_; }
  void DeliverPendingEvents(TcpClientEvents& events) override;
  // Moves the virtual clock to the next scripted event, or by `timeout`,
  // whichever comes first.
  bool AwaitActivity(std::chrono::milliseconds timeout) override;

  struct ConnectCall {
    std::string host;
    std::int32_t port = 0;
    std::int64_t at_ms = 0;
  };
  const std::vector<ConnectCall>& connects() const { return connects_; }
  const std::vector<std::int64_t>& disconnects() const { return disconnects_; }
  int deliveries() const { return deliveries_; }

  int fail_link_up = 0;  // how many of the next LinkUp calls fail
  bool fail_connect = false;
  bool fail_peer_host = false;

 private:
  struct Reply {
    std::int16_t status = 0;
    std::int64_t after_ms = 0;  // negative: no event at all
  };
  struct Pending {
    std::int64_t at_ms = 0;
    ScriptedEvent event;
  };
  void Schedule(std::int64_t at_ms, ScriptedEvent event);

  VirtualEnv& env_;
  std::vector<Reply> replies_;
  std::size_t next_reply_ = 0;
  std::vector<Pending> pending_;  // kept in order of time, then of scheduling
  // Delivers the scripted events the way the real client does, and keeps
  // the link flag as delivery leaves it.
  ClientEventQueue delivery_;
  std::string peer_host_;
  std::int32_t peer_port_ = 0;
  std::vector<ConnectCall> connects_;
  std::vector<std::int64_t> disconnects_;
  int deliveries_ = 0;
};

}  // namespace vornask::testing
