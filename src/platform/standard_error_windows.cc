#include <windows.h>

#include "platform/system_standard_error.h"

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
    // One write per line where it fits the buffer, and no memory taken, so a
    // run stopped for want of it can still say so.
    char text[1024];
    DWORD written = 0;
    if (line.size() + 2 <= sizeof text) {
      line.copy(text, line.size());
      text[line.size()] = '\r';
      text[line.size() + 1] = '\n';
      WriteFile(handle, text, static_cast<DWORD>(line.size() + 2), &written, nullptr);
      return;
    }
    WriteFile(handle, line.data(), static_cast<DWORD>(line.size()), &written, nullptr);
    WriteFile(handle, "\r\n", 2, &written, nullptr);
  }
};

}  // namespace

StandardError& SystemStandardError() {
  static ProcessStandardError standard_error;
  return standard_error;
}

}  // namespace vornask
