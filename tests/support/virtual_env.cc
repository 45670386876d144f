#include "support/virtual_env.h"

#include <cstdio>
#include <stdexcept>

namespace vornask::testing {

std::string VirtualEnv::LocalTimestamp() {
  if (fail_timestamps > 0) {
    --fail_timestamps;
    throw std::runtime_error("local time unavailable");
  }
  const std::int64_t seconds = std::int64_t{12} * 3600 + elapsed_ms() / 1000;
  char text[32];
  std::snprintf(text, sizeof text, "2026-12-10 %02lld:%02lld:%02lld", static_cast<long long>(seconds / 3600 % 24),
                static_cast<long long>(seconds / 60 % 60), static_cast<long long>(seconds % 60));
  return text;
}

}  // namespace vornask::testing
