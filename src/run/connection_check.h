// The check of one target: drop a link still up, start an attempt, and wait
// in 20 ms polls until the client's events mark it connected or its
// deadline passes.
#pragma once

#include <cstdint>

#include "run/run_state.h"

namespace vornask {

inline constexpr std::int64_t kAttemptSeconds = 25;

// `target` is the run's shared CurrentTarget, passed by reference so that
// the event handlers and this check agree on the target being probed.
void CheckTcpStatus(Run& run, std::int16_t& target);

}  // namespace vornask
