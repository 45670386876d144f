// Where the running executable lives: its trace file is looked for there.
#pragma once

#include <string>

namespace vornask {

// The directory that holds the running executable (UTF-8); empty when it
// cannot be found, which leaves tracing off.
std::string ExecutableDirectory();

}  // namespace vornask
