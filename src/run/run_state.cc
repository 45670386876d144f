#include <stdexcept>
#include <string>

#include "run/run_state.h"

namespace vornask {

TargetEntry& Targets::operator[](std::int32_t number) {
  if (number < 1 || number > kMaxTargets) {
    throw std::out_of_range("target number " + std::to_string(number) + " outside 1 to 10");
  }
  return entries_[static_cast<std::size_t>(number - 1)];
}

}  // namespace vornask
