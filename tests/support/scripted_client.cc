#include "support/scripted_client.h"

#include <algorithm>
#include <utility>

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
  if (!delivery_.link_up()) return;
  delivery_.TakeLinkDown();
  Schedule(env_.now_ms(), {ClientEvent::DisconnectedOnRequest(), {}});
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
    ScriptedEvent due = std::move(pending_.front().event);
    pending_.erase(pending_.begin());
    if (due.action) {
      due.action();
    } else {
      // Queued alone and delivered at once, so that the test's actions keep
      // their places between the events.
      delivery_.Push(std::move(due.event));
      delivery_.DeliverAll(events);
    }
  }
}

}  // namespace vornask::testing
