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

  std::int64_t NowMilliseconds() override { return now_ms_; }
  // Wall time starts at 2026-12-10 12:00:00 and runs with the virtual clock.
  std::string LocalTimestamp() override;
  void SleepUntil(std::int64_t at) override {
    if (at > now_ms_) AdvanceTo(at);
    ++sleeps_;
  }

  // Moves the clock on; the run's waits are the only callers besides tests.
  void AdvanceTo(std::int64_t at) {
    slept_ms_ += at - now_ms_;
    now_ms_ = at;
  }
  void SleepMilliseconds(std::int64_t ms) { AdvanceTo(now_ms_ + ms); }

  std::int64_t now_ms() const { return now_ms_; }
  std::int64_t elapsed_ms() const { return now_ms_ - start_ms_; }
  std::int64_t slept_ms() const { return slept_ms_; }
  // How often the run slept: the wake-ups a real clock would cost.
  int sleeps() const { return sleeps_; }

  // How many of the next timestamps fail (as an unreadable clock would).
  int fail_timestamps = 0;

 private:
  std::int64_t start_ms_;
  std::int64_t now_ms_;
  std::int64_t slept_ms_ = 0;
  int sleeps_ = 0;
};

}  // namespace vornask::testing
