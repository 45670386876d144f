// Reading the argument text into the run: the required count and the target
// table, or the argument error told on standard error and in the trace.
#pragma once

#include "run/run_state.h"

namespace vornask {

enum class ArgumentsOutcome {
  kContinue,    // go on with the run (also after an untraced argument error)
  kEndProgram,  // a traced argument error: end the program the ordinary way
};

// Told on standard error when COUNT is empty and at least one target was
// read: the run gives 100 whatever the targets do.
inline constexpr const char* kEmptyCountWarning =
    "vornask: warning: COUNT is empty and counts as 0, so any run with a target gives 100";

// Fills RequiredCount, the targets and TargetCount from run.argument_text.
ArgumentsOutcome ReadArguments(Run& run);

}  // namespace vornask
