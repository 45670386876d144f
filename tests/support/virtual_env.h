// A clock that moves only when the run sleeps, so whole runs of many virtual
// seconds take no real time and every wait is measured exactly.
#pragma once

#include <cstdint>
#include <string>

#include "platform/env.h"

namespace vornask::testing {

class VirtualEnv final : public Env {
 public:
  // `start_ms`: the monotonic clock at start; its fraction of a second
  // decides when whole-second deadlines fall.
  explicit VirtualEnv(std::int64_t start_ms = 1'000'000) : start_ms_(start_ms), now_ms_(start_ms) {}

  std::int64_t NowSeconds() override { return now_ms_ / 1000; }
  // Wall time starts at 2026-12-10 12:00:00 and runs with the virtual clock.
  std::string LocalTimestamp() override;
  void SleepMilliseconds(int ms) override {
    now_ms_ += ms;
    slept_ms_ += ms;
  }

  std::int64_t now_ms() const { return now_ms_; }
  std::int64_t elapsed_ms() const { return now_ms_ - start_ms_; }
  std::int64_t slept_ms() const { return slept_ms_; }

  // How many of the next timestamps fail (as an unreadable clock would).
  int fail_timestamps = 0;

 private:
  std::int64_t start_ms_;
  std::int64_t now_ms_;
  std::int64_t slept_ms_ = 0;
};

}  // namespace vornask::testing
