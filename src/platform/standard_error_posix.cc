#include <unistd.h>

#include "platform/system_standard_error.h"
#include "platform/write_all_posix.h"

namespace vornask {
namespace {

class ProcessStandardError final : public StandardError {
 public:
  void WriteLine(std::string_view line) override {
    // One write per line, so lines of runs that share a log stay whole; and
    // no memory taken, so a run stopped for want of it can still say so.
    char line_end = '\n';
    iovec parts[2] = {{const_cast<char*>(line.data()), line.size()}, {&line_end, 1}};
    WriteAll(STDERR_FILENO, parts);
  }
};

}  // namespace

StandardError& SystemStandardError() {
  static ProcessStandardError standard_error;
  return standard_error;
}

}  // namespace vornask
