#include "support/scripted_client.h"

#include <algorithm>

namespace vornask::testing {

void ScriptedClient::Schedule(std::int64_t at_ms, ScriptedEvent event) {
  auto later = std::upper_bound(pending_.begin(), pending_.end(), at_ms,
                                [](std::int64_t t, const Pending& p) { return t < p.at_ms; });
  pending_.insert(later, Pending{at_ms, std::move(event)});
}

void ScriptedClient::Connect(const std::string& host, std::int32_t port) {
  connects_.push_back({host, port, env_.now_ms()});
  if (fail_connect) throw std::runtime_error("Connect failed");
  peer_host_ = host;
  peer_port_ = port;
  if (next_reply_ >= replies_.size()) return;
  const Reply reply = replies_[next_reply_++];
  if (reply.after_ms >= 0) Schedule(env_.now_ms() + reply.after_ms, ScriptedEvent::Connected(reply.status));
}

void ScriptedClient::Disconnect() {
  disconnects_.push_back(env_.now_ms());
  if (!link_up_) return;
  link_up_ = false;
  Schedule(env_.now_ms(), ScriptedEvent::Disconnected());
}

bool ScriptedClient::AwaitActivity(std::chrono::milliseconds timeout) {
  const std::int64_t until = env_.now_ms() + timeout.count();
  if (!pending_.empty() && pending_.front().at_ms <= until) {
    if (pending_.front().at_ms > env_.now_ms()) env_.AdvanceTo(pending_.front().at_ms);
    return true;
  }
  env_.AdvanceTo(until);
  return false;
}

void ScriptedClient::DeliverPendingEvents(TcpClientEvents& events) {
  ++deliveries_;
  while (!pending_.empty() && pending_.front().at_ms <= env_.now_ms()) {
    const ScriptedEvent event = pending_.front().event;
    pending_.erase(pending_.begin());
    switch (event.kind) {
      case ScriptedEvent::Kind::kConnected:
        if (event.code == 0) link_up_ = true;
        events.tcpClient_Connected(event.code);
        break;
      case ScriptedEvent::Kind::kDisconnected:
        link_up_ = false;
        events.tcpClient_Disconnected();
        break;
      case ScriptedEvent::Kind::kError:
        events.tcpClient_Error(event.code, event.description, event.origin);
        break;
      case ScriptedEvent::Kind::kAction:
        event.action();
        break;
    }
  }
}

}  // namespace vornask::testing
