#include "run/run_checks.h"

#include "run/argument_reading.h"
#include "run/connection_check.h"
#include "run/pacer.h"

namespace vornask {

RunEnd RunChecks(Run& run) {
  RunState& state = run.state;

  if (run.log.DebugFileExists()) {
    state.DebugOn = true;
    run.log.WriteTraceHeader();
  }

  if (ReadArguments(run) == ArgumentsOutcome::kEndProgram) return RunEnd{kStatusNotReached, false};

  if (state.TargetCount == 0) {
    Delay(run, 1000);
    return RunEnd{kStatusNotReached, false};
  }

  // The shared CurrentTarget is the loop counter, so the client's events are
  // always credited to the target being probed, and after the loop to
  // TargetCount + 1.
  const std::int16_t last = state.TargetCount;
  for (state.CurrentTarget = 1; state.CurrentTarget <= last; ++state.CurrentTarget) {
    CheckTcpStatus(run);
  }

  if (run.client.LinkUp()) {
    run.client.Disconnect();
    Delay(run, 50);
  }

  std::int16_t success_total = 0;
  for (state.CurrentTarget = 1; state.CurrentTarget <= last; ++state.CurrentTarget) {
    success_total = static_cast<std::int16_t>(success_total + run.targets[state.CurrentTarget].Connected);
  }

  const bool reached = success_total >= state.RequiredCount;
  if (state.DebugOn) {
    run.log.AppendDebugLine(reached ? " Return Value: 100" : " Return Value: 0");
    Delay(run, 500);
  }
  return RunEnd{reached ? kStatusReached : kStatusNotReached, true};
}

}  // namespace vornask
