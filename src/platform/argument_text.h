// The argument text the probe reads and traces: the command line after the
// program name and the blanks that follow it, as one text (UTF-8).
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace vornask {

#ifdef _WIN32
// The command line exactly as written after the program name: quotes, tabs
// and trailing blanks kept.
std::string ArgumentTextFromCommandLine(std::wstring_view command_line);
// The same for this process's own command line.
std::string ArgumentText();
#else
// Where the system hands over separate arguments, they are joined with
// single blanks, an argument that is empty or holds a blank or a tab wrapped
// in double quotes so that it stays one token.
std::string JoinArguments(int argc, const char* const* argv);
#endif

// The text's length as the system counts a command line: bytes here, UTF-16
// code units on Windows.
std::size_t ArgumentTextLength(std::string_view text);
#ifdef _WIN32
inline constexpr const char* kArgumentTextUnits = "characters";
#else
inline constexpr const char* kArgumentTextUnits = "bytes";
#endif

}  // namespace vornask
