#include "diag/caret_notation.h"

namespace vornask {

std::string CaretNotation(std::string_view text) {
  std::string visible;
  visible.reserve(text.size());
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if ((byte < 0x20 && byte != '\t') || byte == 0x7f) {
      visible += '^';
      visible += static_cast<char>(byte ^ 0x40);
    } else {
      visible += c;
    }
  }
  return visible;
}

}  // namespace vornask
