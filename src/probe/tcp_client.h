// The TCP client as the run uses it: one instance for the whole run, one
// connection attempt at a time, outcomes reported as events. Events are
// raised only from DeliverPendingEvents, which the run calls at the end of a
// pause slice in which the client showed activity (AwaitActivity) and at the
// end of every wait; that is the one place where handlers run.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>

namespace vornask {

// What an error event is about: the connection, or this machine, which
// could not even try the target (no socket, no lookup thread).
enum class ErrorOrigin { kConnection, kLocal };

// Receivers of the client's three events.
class TcpClientEvents {
 public:
  virtual ~TcpClientEvents() = default;
  // Connect completion: status 0 when connected, otherwise the errno or
  // resolver code of the failure.
  virtual void tcpClient_Connected(std::int16_t status_code) = 0;
  virtual void tcpClient_Disconnected() = 0;
  // An attempt that fails for a local reason raises this error first, then
  // its failed connect completion.
  virtual void tcpClient_Error(std::int16_t error_code, const std::string& description, ErrorOrigin origin) = 0;
};

class TcpClient {
 public:
  virtual ~TcpClient() = default;

  // True while a connection is established.
  virtual bool LinkUp() = 0;
  // Starts one attempt and returns at once; the outcome arrives as a connect
  // completion. An attempt still pending is abandoned: none of its events
  // is ever delivered.
  virtual void Connect(const std::string& host, std::int32_t port) = 0;
  // Closes the established connection.
  virtual void Disconnect() = 0;
  // Host and port of the endpoint connected or last tried.
  virtual std::string PeerHost() = 0;
  virtual std::int32_t PeerPort() = 0;

  // Lets background work progress and hands every event that is due to
  // `events`, in order.
  virtual void DeliverPendingEvents(TcpClientEvents& events) = 0;

  // Blocks until there is something for DeliverPendingEvents to hand over
  // (an event, a finished lookup) or until `timeout` has passed; true in the
  // first case, at once when something is already there. Socket work that
  // only moves an attempt on may run inside; no handler is called.
  virtual bool AwaitActivity(std::chrono::milliseconds timeout) = 0;
};

}  // namespace vornask
