#include <windows.h>

#include <string>

#include "platform/standard_error.h"

namespace vornask {
namespace {

// A program of the GUI subsystem has a standard error only when its caller
// redirected one; without it the line has nowhere to go, and never becomes
// a message box.
class ProcessStandardError final : public StandardError {
 public:
  void WriteLine(std::string_view line) override {
    const HANDLE handle = GetStdHandle(STD_ERROR_HANDLE);
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE) return;
    const std::string text = std::string(line) + "\r\n";
    DWORD written = 0;
    WriteFile(handle, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
  }
};

}  // namespace

StandardError& SystemStandardError() {
  static ProcessStandardError standard_error;
  return standard_error;
}

}  // namespace vornask
