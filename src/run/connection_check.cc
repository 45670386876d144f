#include "run/connection_check.h"

#include <string>

namespace vornask {

void CheckTcpStatus(Run& run, std::int16_t& target) {
  RunState& state = run.state;
  try {
    if (run.client.LinkUp()) {
      run.client.Disconnect();
      Delay(run, 200);
    }
    state.Deadline = run.env.NowSeconds() + kAttemptSeconds;
    state.IsConnected = false;
    if (state.DebugOn) {
      const TargetEntry& entry = run.targets[target];
      run.log.AppendDebugLine(" --> Connecting to " + entry.Host + " on port " + std::to_string(entry.Port));
    }
  } catch (const std::exception&) {
    if (state.DebugOn) {
      run.log.AppendDebugLine([&] {
        const TargetEntry& entry = run.targets[target];
        return " Error When Connecting to " + entry.Host + " on port " + std::to_string(entry.Port) +
               " (modVornask_CheckTcpStatus)";
      });
    }
    return;
  }

  // From here a failing step is skipped: a Connect that fails at once leaves
  // the wait to run until its deadline unless the client still reports.
  try {
    const TargetEntry& entry = run.targets[target];
    run.client.Connect(entry.Host, entry.Port);
  } catch (const std::exception&) {
  }

  do {
    Delay(run, 20);
  } while (!(run.env.NowSeconds() > state.Deadline || state.IsConnected));
}

}  // namespace vornask
