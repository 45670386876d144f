#include <cstdio>

#include "platform/console_output.h"

namespace vornask {

void WriteToConsole(std::string_view text) {
  std::fwrite(text.data(), 1, text.size(), stdout);
  std::fflush(stdout);
}

}  // namespace vornask
