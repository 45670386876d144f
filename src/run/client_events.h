// Handlers of the client's events: where an attempt's outcome enters the run
// state. They run inside a pause (Delay or the check's wait), in the middle
// of some wait.
#pragma once

#include "probe/tcp_client.h"
#include "run/run_state.h"

namespace vornask {

class ClientEventHandlers final : public TcpClientEvents {
 public:
  explicit ClientEventHandlers(Run& run) : run_(run) {}

  // Success marks the current target and ends the check's wait at its next
  // poll; failure moves the deadline to now so the wait ends within a second.
  void tcpClient_Connected(std::int16_t status_code) override;
  void tcpClient_Disconnected() override;
  // Traced only: an error neither marks the target nor ends the wait. A
  // local failure is also told on standard error, traced or not, so that it
  // is never taken for an unreachable target.
  void tcpClient_Error(std::int16_t error_code, const std::string& description, ErrorOrigin origin) override;

 private:
  Run& run_;
};

}  // namespace vornask
