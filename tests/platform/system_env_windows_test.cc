// The Windows clock and sleep: the millisecond clock that pauses and
// deadlines are laid out on, and sleeping until a moment on it.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>

#include "platform/system_env.h"

namespace vornask::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::steady_clock;

TEST(SystemEnvWindows, SleepUntilReturnsNoEarlierThanTheMomentAsked) {
  Env& env = SystemEnv();
  const steady_clock::time_point start = steady_clock::now();
  const std::int64_t until = env.NowMilliseconds() + 50;
  env.SleepUntil(until);
  const steady_clock::duration slept = steady_clock::now() - start;
  EXPECT_GE(env.NowMilliseconds(), until);
  EXPECT_GE(slept, milliseconds(49));
  // Lenient: only a sleep in the wrong unit takes this long.
  EXPECT_LT(slept, milliseconds(5000));
}

TEST(SystemEnvWindows, MillisecondClockKeepsTheFractionOfASecond) {
  // Readings at least 7 ms apart: on a clock of whole seconds each one is a
  // multiple of 1000; on a clock of milliseconds at most one of any second
  // can be.
  Env& env = SystemEnv();
  bool fraction_seen = false;
  std::int64_t reading = env.NowMilliseconds();
  for (int i = 0; i < 5 && !fraction_seen; ++i) {
    env.SleepUntil(reading + 7);
    const std::int64_t next = env.NowMilliseconds();
    EXPECT_GE(next - reading, 7);
    reading = next;
    fraction_seen = reading % 1000 != 0;
  }
  EXPECT_TRUE(fraction_seen) << "every reading a whole second: " << reading;
}

}  // namespace
}  // namespace vornask::testing
