// For the _posix.cc files of this folder only: writing a whole piece of
// text to a descriptor that may take it in parts.
#pragma once

#include <sys/uio.h>

#include <cstddef>
#include <span>

namespace vornask {

struct WriteAllResult {
  std::size_t written = 0;  // bytes that landed, also when it failed
  int error = 0;            // 0 when everything landed
};

// Writes `parts` in order with as few writev calls as the descriptor allows,
// retrying calls a signal interrupts, and stops at the first failing call:
// its errno, or EIO for a call that wrote nothing without saying why. Takes
// no memory, so that it still works when there is none left. `parts` is
// used up: its entries end up pointing past what was written.
WriteAllResult WriteAll(int fd, std::span<iovec> parts);

}  // namespace vornask
