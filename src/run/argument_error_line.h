// The line on standard error that tells the caller why the argument text
// was rejected.
#pragma once

#include <string>

#include "run/argument_parse.h"

namespace vornask {

// "vornask: argument error: WHAT WHY; see vornask --help", tokens quoted,
// control characters in caret notation, long tokens cut short.
std::string ArgumentErrorLine(const ArgumentError& error);

}  // namespace vornask
