// Events of a TCP client on their way to the run, and the link flag that
// their delivery keeps. The link comes up when a successful connect
// completion is delivered and goes down when a disconnection is, so that a
// handler always sees the link as its own event left it.
#pragma once

#include <cstdint>
#include <deque>
#include <string>
#include <utility>

#include "probe/tcp_client.h"

namespace vornask {

struct ClientEvent {
  enum class Kind { kConnected, kDisconnected, kError };
  Kind kind = Kind::kConnected;
  // Connect completion: the status (0: connected). Error: its code.
  std::int16_t code = 0;
  std::string description;
  ErrorOrigin origin = ErrorOrigin::kConnection;
  // A disconnection the caller asked for with Disconnect is owed to it even
  // when a Connect comes before delivery; every other event belongs to the
  // attempt and dies with it.
  bool owed = false;

  static ClientEvent Connected(std::int16_t status) { return {Kind::kConnected, status, {}}; }
  static ClientEvent Disconnected() { return {Kind::kDisconnected, 0, {}}; }
  // The disconnection Disconnect itself causes.
  static ClientEvent DisconnectedOnRequest() { return {Kind::kDisconnected, 0, {}, ErrorOrigin::kConnection, true}; }
  static ClientEvent Error(std::int16_t code, std::string description, ErrorOrigin origin = ErrorOrigin::kConnection) {
    return {Kind::kError, code, std::move(description), origin};
  }
};

class ClientEventQueue {
 public:
  void Push(ClientEvent event) { queue_.push_back(std::move(event)); }
  bool empty() const { return queue_.empty(); }

  bool link_up() const { return link_up_; }
  // Disconnect: the link is down at once, before its disconnection is
  // delivered.
  void TakeLinkDown() { link_up_ = false; }
  // A new attempt: the link goes down and the events of the old attempt go
  // with it, except what is owed.
  void DropAttempt();

  // Hands every queued event to `events`, oldest first. Each event leaves
  // the queue before its handler runs, so a handler that throws loses only
  // its own event and the rest wait for the next call.
  void DeliverAll(TcpClientEvents& events);

 private:
  std::deque<ClientEvent> queue_;
  bool link_up_ = false;
};

}  // namespace vornask
