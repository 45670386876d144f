// The real TCP client, on standalone Asio. All socket work is asynchronous on
// a private io_context that only AwaitActivity and DeliverPendingEvents
// drive, on the run's thread, so the run stays single-threaded; name lookups
// run on threads of their own (see host_lookup.h). Asio itself stays inside
// the .cc file.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "probe/host_lookup.h"
#include "probe/tcp_client.h"

namespace vornask {

class AsioTcpClient final : public TcpClient {
 public:
  struct Options {
    // Resolves names; empty means the system resolver. Numeric addresses never
    // reach it.
    LookupFunction lookup;
    // How long an address may stay unanswered before the next one is tried
    // alongside it (RFC 8305 recommends 250 ms).
    std::chrono::milliseconds attempt_delay{250};
  };

  AsioTcpClient();
  explicit AsioTcpClient(Options options);
  ~AsioTcpClient() override;
  AsioTcpClient(const AsioTcpClient&) = delete;
  AsioTcpClient& operator=(const AsioTcpClient&) = delete;

  // True from the delivery of a successful connect completion until
  // Disconnect or the delivery of the disconnection.
  bool LinkUp() override;
  // Never blocks and never throws for a bad target: an empty host, a port
  // outside 1..65535, a name that does not resolve or addresses that all
  // fail end in a failed connect completion. A link still up is closed
  // without an event.
  void Connect(const std::string& host, std::int32_t port) override;
  // Closes a link that is up; its disconnection is delivered next, even if a
  // Connect comes first. Without a link up it does nothing.
  void Disconnect() override;
  // The numeric address connected or last tried; the host as given while no
  // address is known.
  std::string PeerHost() override;
  // The port as given to Connect.
  std::int32_t PeerPort() override;
  // Runs the ready socket work without waiting, then delivers. An exception
  // from a handler propagates; the events after it stay queued for the next
  // call.
  void DeliverPendingEvents(TcpClientEvents& events) override;
  // Waits in the io_context, with a time limit, and wakes when a lookup
  // finishes; never busy.
  bool AwaitActivity(std::chrono::milliseconds timeout) override;

 private:
  class Impl;
  std::unique_ptr<Impl> impl_;
};

}  // namespace vornask
