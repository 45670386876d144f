// The program once the platform has handed over its argument text: wires the
// system clock, the Asio client and the trace file beside the executable
// into one run, and ends the process the way the run asks. Whatever the run
// could not handle ends it with status 0 and one line on standard error,
// never with a status a caller could read as reached.
#pragma once

#include <string>

#include "platform/standard_error.h"

namespace vornask {

// Returns only for the ordinary end (nothing probed), with the status to
// return from the entry point; every other end is immediate.
int RunProgram(std::string argument_text, StandardError& errors);

}  // namespace vornask
