// Control characters in traced values are written visibly, so that no value
// (an argument, a host, an error's text) can end a trace line early and
// forge the lines after it.
#pragma once

#include <string>
#include <string_view>

namespace vornask {

// Every byte 0x00-0x1F but tab, and 0x7F, in caret notation (CR as "^M",
// LF as "^J", ESC as "^[", DEL as "^?"); every other byte, tab and bytes
// that are not UTF-8 included, unchanged.
std::string CaretNotation(std::string_view text);

}  // namespace vornask
