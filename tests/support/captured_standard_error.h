// Standard error as a list of the lines a run wrote to it.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "platform/standard_error.h"

namespace vornask::testing {

class CapturedStandardError final : public StandardError {
 public:
  void WriteLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

}  // namespace vornask::testing
