#include "platform/argument_text.h"

#include <string_view>

namespace vornask {

std::string JoinArguments(int argc, const char* const* argv) {
  std::string text;
  for (int i = 1; i < argc; ++i) {
    const std::string_view argument = argv[i];
    if (i > 1) text += ' ';
    const bool needs_quotes = argument.empty() || argument.find_first_of(" \t") != std::string_view::npos;
    if (needs_quotes) text += '"';
    text += argument;
    if (needs_quotes) text += '"';
  }
  return text;
}

}  // namespace vornask

namespace vornask {

std::size_t ArgumentTextLength(std::string_view text) { return text.size(); }

}  // namespace vornask
