#include <windows.h>

#include "platform/argument_text.h"
#include "platform/windows_text.h"

namespace vornask {

std::string ArgumentTextFromCommandLine(std::wstring_view command_line) {
  // The program name ends where the system's own rule ends it: at the
  // closing quote when it starts with one, else at the first blank or tab.
  std::size_t at = 0;
  if (!command_line.empty() && command_line.front() == L'"') {
    const std::size_t closing = command_line.find(L'"', 1);
    at = closing == std::wstring_view::npos ? command_line.size() : closing + 1;
  } else {
    while (at < command_line.size() && command_line[at] != L' ' && command_line[at] != L'\t') ++at;
  }
  while (at < command_line.size() && command_line[at] == L' ') ++at;
  return Utf8FromWide(command_line.substr(at));
}

std::string ArgumentText() { return ArgumentTextFromCommandLine(GetCommandLineW()); }

std::size_t ArgumentTextLength(std::string_view text) { return WideFromUtf8(text).size(); }

}  // namespace vornask
