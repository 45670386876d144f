// The argument text the probe reads and traces: the arguments after the
// program name joined with single blanks, an argument that is empty or holds
// a blank or a tab wrapped in double quotes so that it stays one token.
#pragma once

#include <string>

namespace vornask {

std::string JoinArguments(int argc, const char* const* argv);

}  // namespace vornask
