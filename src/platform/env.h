// The probe's only doors to time: the monotonic clock of deadlines and
// pauses, the trace timestamp, and sleeping until a moment on that clock.
// The binary uses the system; tests use a virtual clock that moves only when
// the run waits.
#pragma once

#include <cstdint>
#include <string>

namespace vornask {

class Env {
 public:
  virtual ~Env() = default;

  // Milliseconds of a monotonic clock. Pauses are laid out on it.
  virtual std::int64_t NowMilliseconds() = 0;

  // Whole seconds of the same clock, fraction dropped. Deadlines use it so
  // that a change of the wall clock neither stretches nor cuts a wait.
  std::int64_t NowSeconds() { return NowMilliseconds() / 1000; }

  // Present local wall-clock time as "YYYY-MM-DD HH:MM:SS".
  virtual std::string LocalTimestamp() = 0;

  // Returns at `milliseconds` on the monotonic clock, or at once when that
  // moment has passed.
  virtual void SleepUntil(std::int64_t milliseconds) = 0;
};

}  // namespace vornask
