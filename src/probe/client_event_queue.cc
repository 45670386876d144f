#include "probe/client_event_queue.h"

#include <utility>

namespace vornask {

void ClientEventQueue::DropAttempt() {
  link_up_ = false;
  std::erase_if(queue_, [](const ClientEvent& event) { return !event.owed; });
}

void ClientEventQueue::DeliverAll(TcpClientEvents& events) {
  while (!queue_.empty()) {
    const ClientEvent event = std::move(queue_.front());
    queue_.pop_front();
    switch (event.kind) {
      case ClientEvent::Kind::kConnected:
        if (event.code == 0) link_up_ = true;
        events.tcpClient_Connected(event.code);
        break;
      case ClientEvent::Kind::kDisconnected:
        link_up_ = false;
        events.tcpClient_Disconnected();
        break;
      case ClientEvent::Kind::kError:
        events.tcpClient_Error(event.code, event.description, event.origin);
        break;
    }
  }
}

}  // namespace vornask
