#include <unistd.h>

#include <cerrno>
#include <string>

#include "platform/standard_error.h"

namespace vornask {
namespace {

class ProcessStandardError final : public StandardError {
 public:
  void WriteLine(std::string_view line) override {
    // One write per line, so lines of runs that share a log stay whole.
    const std::string text = std::string(line) + "\n";
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t written = ::write(STDERR_FILENO, text.data() + done, text.size() - done);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;
      done += static_cast<std::size_t>(written);
    }
  }
};

}  // namespace

StandardError& SystemStandardError() {
  static ProcessStandardError standard_error;
  return standard_error;
}

}  // namespace vornask
