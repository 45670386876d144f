#include "run/client_events.h"

#include <string>

#include "diag/caret_notation.h"

namespace vornask {

void ClientEventHandlers::tcpClient_Connected(std::int16_t status_code) {
  RunState& state = run_.state;
  TcpClient& client = run_.client;
  try {
    if (status_code == 0) {
      state.IsConnected = true;
      run_.targets[state.CurrentTarget].Connected = 1;
      if (state.DebugOn) {
        run_.log.AppendDebugLine(
            [&] { return " <-- Connected to " + client.PeerHost() + " on port " + std::to_string(client.PeerPort()); });
      }
    } else {
      state.Deadline = run_.env.NowSeconds();
      if (state.DebugOn) {
        run_.log.AppendDebugLine([&] {
          return " --- Failed Connecting to " + client.PeerHost() + " on port " + std::to_string(client.PeerPort());
        });
      }
    }
  } catch (const std::exception&) {
    if (state.DebugOn) run_.log.AppendDebugLine([&] { return " --- Failed Connecting to " + client.PeerHost(); });
  }
}

void ClientEventHandlers::tcpClient_Disconnected() {
  try {
    if (run_.state.DebugOn) run_.log.AppendDebugLine(" --- Disconnected");
  } catch (const std::exception&) {
    if (run_.state.DebugOn) run_.log.AppendDebugLine(" Error When Disconnecting (tcpClient_Disconnected)");
  }
}

void ClientEventHandlers::tcpClient_Error(std::int16_t error_code, const std::string& description, ErrorOrigin origin) {
  if (origin == ErrorOrigin::kLocal) {
    run_.errors.WriteLine("vornask: could not try " + CaretNotation(run_.client.PeerHost()) + " on port " +
                          std::to_string(run_.client.PeerPort()) + ": " + CaretNotation(description) + " (error " +
                          std::to_string(error_code) + "); it counts as not reached");
  }
  if (run_.state.DebugOn) {
    run_.log.AppendDebugLine("Error " + std::to_string(error_code) + ": " + description + " (tcpClient_Error)");
  }
}

}  // namespace vornask
