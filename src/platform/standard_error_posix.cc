#include <sys/uio.h>
#include <unistd.h>

#include <cerrno>
#include <cstddef>

#include "platform/system_standard_error.h"

namespace vornask {
namespace {

class ProcessStandardError final : public StandardError {
 public:
  void WriteLine(std::string_view line) override {
    // One write per line, so lines of runs that share a log stay whole; and
    // no memory taken, so a run stopped for want of it can still say so.
    char line_end = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&line_end, 1}};
    iovec* part = parts;
    int left = 2;
    while (left > 0) {
      const ssize_t written = ::writev(STDERR_FILENO, part, left);
      if (written < 0 && errno == EINTR) continue;
      if (written <= 0) return;
      auto done = static_cast<std::size_t>(written);
      while (left > 0 && done >= part->iov_len) {
        done -= part->iov_len;
        ++part;
        --left;
      }
      if (left > 0) {
        part->iov_base = static_cast<char*>(part->iov_base) + done;
        part->iov_len -= done;
      }
    }
  }
};

}  // namespace

StandardError& SystemStandardError() {
  static ProcessStandardError standard_error;
  return standard_error;
}

}  // namespace vornask
