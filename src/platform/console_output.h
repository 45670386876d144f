// Where --help and --version go: standard output, or on Windows, where a
// windowless program has none unless redirected, the console of whoever
// started it.
#pragma once

#include <string_view>

namespace vornask {

void WriteToConsole(std::string_view text);

}  // namespace vornask
