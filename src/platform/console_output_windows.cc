#include <windows.h>

#include <string>

#include "platform/console_output.h"
#include "platform/windows_text.h"

namespace vornask {

void WriteToConsole(std::string_view text) {
  const HANDLE out = GetStdHandle(STD_OUTPUT_HANDLE);
  if (out != nullptr && out != INVALID_HANDLE_VALUE) {
    // Redirected: the bytes as they are, lines ending in CR LF.
    std::string bytes;
    for (char c : text) {
      if (c == '\n') bytes += '\r';
      bytes += c;
    }
    DWORD written = 0;
    WriteFile(out, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    return;
  }
  if (!AttachConsole(ATTACH_PARENT_PROCESS)) return;
  const HANDLE console = CreateFileW(L"CONOUT$", GENERIC_WRITE, FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (console == INVALID_HANDLE_VALUE) return;
  std::wstring wide;
  for (wchar_t c : WideFromUtf8(text)) {
    if (c == L'\n') wide += L'\r';
    wide += c;
  }
  DWORD written = 0;
  WriteConsoleW(console, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
  CloseHandle(console);
}

}  // namespace vornask
