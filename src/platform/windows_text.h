// Text at the Windows boundary: the program works in UTF-8 inside, the
// system speaks UTF-16, and the trace file is in the ANSI code page.
#pragma once

#include <string>
#include <string_view>

namespace vornask {

// Unpaired surrogates become U+FFFD.
std::string Utf8FromWide(std::wstring_view text);
// Bytes that are not UTF-8 become U+FFFD.
std::wstring WideFromUtf8(std::string_view text);
// Characters the code page cannot show become '?', never a look-alike.
std::string AnsiFromUtf8(std::string_view text);

}  // namespace vornask
