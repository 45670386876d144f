#include <windows.h>

#include <limits>
#include <stdexcept>

#include "platform/windows_text.h"

namespace vornask {
namespace {

int Length(std::size_t size) {
  if (size > static_cast<std::size_t>(std::numeric_limits<int>::max())) throw std::length_error("text too long");
  return static_cast<int>(size);
}

// `flags` and `unmapped` as WideCharToMultiByte takes them (UTF-8 takes
// neither).
std::string Narrow(UINT code_page, std::wstring_view text, DWORD flags = 0, const char* unmapped = nullptr) {
  if (text.empty()) return {};
  const int size =
      WideCharToMultiByte(code_page, flags, text.data(), Length(text.size()), nullptr, 0, unmapped, nullptr);
  std::string narrow(static_cast<std::size_t>(size), '\0');
  WideCharToMultiByte(code_page, flags, text.data(), Length(text.size()), narrow.data(), size, unmapped, nullptr);
  return narrow;
}

}  // namespace

std::string Utf8FromWide(std::wstring_view text) { return Narrow(CP_UTF8, text); }

std::wstring WideFromUtf8(std::string_view text) {
  if (text.empty()) return {};
  const int size = MultiByteToWideChar(CP_UTF8, 0, text.data(), Length(text.size()), nullptr, 0);
  std::wstring wide(static_cast<std::size_t>(size), L'\0');
  MultiByteToWideChar(CP_UTF8, 0, text.data(), Length(text.size()), wide.data(), size);
  return wide;
}

std::string AnsiFromUtf8(std::string_view text) {
  if (GetACP() == CP_UTF8) return std::string(text);
  // No best fit: a look-alike (a plain quote for a fullwidth one, A for
  // A with macron) would show text that was never given.
  return Narrow(CP_ACP, WideFromUtf8(text), WC_NO_BEST_FIT_CHARS, "?");
}

}  // namespace vornask
