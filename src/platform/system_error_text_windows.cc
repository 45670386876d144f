#include <windows.h>

#include <string>

#include "platform/system_error_text.h"
#include "platform/windows_text.h"

namespace vornask {

std::string SystemErrorText(int code) {
  // The wide form: the narrow one would hand over the ANSI code page, which
  // is not UTF-8 on most systems.
  wchar_t* text = nullptr;
  const DWORD length =
      FormatMessageW(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                     nullptr, static_cast<DWORD>(code), MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                     reinterpret_cast<wchar_t*>(&text), 0, nullptr);
  if (length == 0 || text == nullptr) return "error " + std::to_string(code);
  std::wstring_view message(text, length);
  while (!message.empty() && (message.back() == L'\n' || message.back() == L'\r')) message.remove_suffix(1);
  std::string utf8 = Utf8FromWide(message);
  LocalFree(text);
  return utf8;
}

}  // namespace vornask
