#include "platform/write_all_posix.h"

#include <unistd.h>

#include <cerrno>
#include <climits>

namespace vornask {

WriteAllResult WriteAll(int fd, std::span<iovec> parts) {
  WriteAllResult result;
  while (!parts.empty() && parts.front().iov_len == 0) parts = parts.subspan(1);
  while (!parts.empty()) {
    const int count = parts.size() < static_cast<std::size_t>(IOV_MAX) ? static_cast<int>(parts.size()) : IOV_MAX;
    const ssize_t written = ::writev(fd, parts.data(), count);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      result.error = written < 0 ? errno : EIO;
      return result;
    }
    auto done = static_cast<std::size_t>(written);
    result.written += done;
    // Past the parts that landed whole; a part that landed in part goes on
    // from where the write stopped.
    while (!parts.empty() && done >= parts.front().iov_len) {
      done -= parts.front().iov_len;
      parts = parts.subspan(1);
    }
    if (!parts.empty()) {
      parts.front().iov_base = static_cast<char*>(parts.front().iov_base) + done;
      parts.front().iov_len -= done;
    }
  }
  return result;
}

}  // namespace vornask
