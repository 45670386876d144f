// Reading the argument text into the required count and the target table.
#pragma once

#include <array>
#include <string>
#include <string_view>

#include "run/run_state.h"

namespace vornask {

// Slot 0 takes the required count, slots 1 to 10 the targets. An empty slot
// is one that no character reached.
using ArgTokens = std::array<std::string, 11>;

// Splits on single blanks or tabs outside double quotes; quotes are dropped
// and group separators into a token; the last slot takes the whole rest of
// the text. Throws std::overflow_error for a text over 32767 bytes.
void SplitArguments(std::string_view text, ArgTokens& tokens);

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
