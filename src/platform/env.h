// The probe's only doors to time: the deadline clock, the trace timestamp and
// the pause between event-processing slices. The binary uses the system; tests
// use a virtual clock that moves only when the run sleeps.
#pragma once

#include <cstdint>
#include <string>

namespace vornask {

class Env {
 public:
  virtual ~Env() = default;

  // Whole seconds of a monotonic clock, fraction dropped. Deadlines use it so
  // that a change of the wall clock neither stretches nor cuts a wait.
  virtual std::int64_t NowSeconds() = 0;

  // Present local wall-clock time as "YYYY-MM-DD HH:MM:SS".
  virtual std::string LocalTimestamp() = 0;

  virtual void SleepMilliseconds(int ms) = 0;
};

// The real clock, sleep and time zone.
Env& SystemEnv();

}  // namespace vornask
