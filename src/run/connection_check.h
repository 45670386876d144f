// The check of one target: drop a link still up, start an attempt, and wait
// in 20 ms polls until the client's events mark it connected or its
// deadline passes.
#pragma once

#include <cstdint>

#include "run/run_state.h"

namespace vornask {

inline constexpr std::int64_t kAttemptSeconds = 25;

// Probes the run's CurrentTarget, the number the event handlers credit
// their outcomes to, so that both always agree on the target being probed.
void CheckTcpStatus(Run& run);

}  // namespace vornask
