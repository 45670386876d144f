#include <windows.h>

#include <string>

#include "platform/executable_directory.h"
#include "platform/windows_text.h"

namespace vornask {

std::string ExecutableDirectory() {
  // Long paths: grow the buffer until the whole name fits.
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) {
      path.resize(length);
      break;
    }
    if (path.size() >= 32768) return {};
    path.resize(path.size() * 2);
  }
  const std::size_t separator = path.find_last_of(L"\\/");
  if (separator == std::wstring::npos) return {};
  return Utf8FromWide(std::wstring_view(path).substr(0, separator));
}

}  // namespace vornask
