// The run sequence: trace switch, arguments, one check per target, final
// drop, tally and verdict.
#pragma once

#include "run/run_state.h"

namespace vornask {

inline constexpr int kStatusReached = 100;
inline constexpr int kStatusNotReached = 0;

// How the process must end once the run is over.
struct RunEnd {
  int status = kStatusNotReached;
  // true: end at once (EndProcessNow), leaving sockets and the pending attempt
  // to the system; false: end the ordinary way, releasing everything.
  bool immediate = false;

  friend bool operator==(const RunEnd&, const RunEnd&) = default;
};

// Throws what no handler of the run catches (a trace file that cannot be
// written outside a handler, RunAborted); the caller then ends with status 0.
RunEnd RunChecks(Run& run);

}  // namespace vornask
