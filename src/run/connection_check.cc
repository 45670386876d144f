#include "run/connection_check.h"

#include <algorithm>
#include <string>

#include "run/pacer.h"

namespace vornask {
namespace {

// The check looks at its outcome every 20 ms: every second slice.
constexpr std::int64_t kSlicesPerPoll = 2;

bool OutcomeKnown(Run& run) { return run.env.NowSeconds() > run.state.Deadline || run.state.IsConnected; }

// The first poll after `polls_done` at which the outcome will be known if no
// event changes the run state before: the next one when connected, else the
// first at which the whole-second clock has passed the deadline.
std::int64_t PassingPoll(const Run& run, const Pacer& pacer, std::int64_t polls_done) {
  const std::int64_t next = polls_done + 1;
  if (run.state.IsConnected) return next;
  const std::int64_t poll_length = kSliceMilliseconds * kSlicesPerPoll;
  const std::int64_t after_origin = (run.state.Deadline + 1) * 1000 - pacer.EndOf(0);
  const std::int64_t poll = after_origin <= 0 ? 0 : (after_origin + poll_length - 1) / poll_length;
  return std::max(next, poll);
}

// Observably `do Delay(20) while the outcome is unknown`: between events only
// the clock can settle it, so the wait sleeps straight to the poll at which
// the deadline will have passed, waking early only for the client.
void WaitForOutcome(Run& run) {
  Pacer pacer(run);
  for (;;) {
    const std::int64_t polls_done = pacer.done() / kSlicesPerPoll;
    const std::int64_t slice = pacer.Next(kSlicesPerPoll * PassingPoll(run, pacer, polls_done));
    if (slice % kSlicesPerPoll == 0 && OutcomeKnown(run)) return;
  }
}

}  // namespace

void CheckTcpStatus(Run& run) {
  RunState& state = run.state;
  try {
    if (run.client.LinkUp()) {
      run.client.Disconnect();
      Delay(run, 200);
    }
    state.Deadline = run.env.NowSeconds() + kAttemptSeconds;
    state.IsConnected = false;
    if (state.DebugOn) {
      const TargetEntry& entry = run.targets[state.CurrentTarget];
      run.log.AppendDebugLine(" --> Connecting to " + entry.Host + " on port " + std::to_string(entry.Port));
    }
  } catch (const std::exception&) {
    if (state.DebugOn) {
      run.log.AppendDebugLine([&] {
        const TargetEntry& entry = run.targets[state.CurrentTarget];
        return " Error When Connecting to " + entry.Host + " on port " + std::to_string(entry.Port) +
               " (modVornask_CheckTcpStatus)";
      });
    }
    return;
  }

  // From here a failing step is skipped: a Connect that fails at once leaves
  // the wait to run until its deadline unless the client still reports.
  try {
    const TargetEntry& entry = run.targets[state.CurrentTarget];
    run.client.Connect(entry.Host, entry.Port);
  } catch (const std::exception&) {
  }

  WaitForOutcome(run);
}

}  // namespace vornask
