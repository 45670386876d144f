// Where the probe says, in one line, why its exit status alone would
// mislead: a rejected command line, a target it could not even try, a run
// it had to stop. A normal run writes nothing here.
#pragma once

#include <string_view>

namespace vornask {

class StandardError {
 public:
  virtual ~StandardError() = default;
  // Writes `line` and a line end; a stream nobody reads is no failure.
  virtual void WriteLine(std::string_view line) = 0;
};

}  // namespace vornask
