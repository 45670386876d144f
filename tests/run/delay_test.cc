#include <gtest/gtest.h>

#include <stdexcept>

#include "support/run_fixture.h"

namespace vornask::testing {
namespace {

struct SliceCase {
  std::int16_t ms;
  int slices;
};

class DelaySlices : public RunFixture, public ::testing::WithParamInterface<SliceCase> {};

TEST_P(DelaySlices, SleepsTenMillisecondsAndDeliversEventsPerSlice) {
  Delay(run, GetParam().ms);
  EXPECT_EQ(env.slept_ms(), 10 * GetParam().slices);
  EXPECT_EQ(client.deliveries(), GetParam().slices);
}

INSTANTIATE_TEST_SUITE_P(Truncation, DelaySlices,
                         ::testing::Values(SliceCase{-10, 0}, SliceCase{0, 0}, SliceCase{5, 0}, SliceCase{9, 0},
                                           SliceCase{10, 1}, SliceCase{19, 1}, SliceCase{20, 2}, SliceCase{200, 20},
                                           SliceCase{1000, 100}, SliceCase{32767, 3276}));

class DelayEvents : public RunFixture {};

TEST_F(DelayEvents, EventIsDeliveredAtTheEndOfTheFirstSliceReachingItsTime) {
  EnableTrace();
  run.state.DebugOn = true;
  client.At(env.now_ms() + 15, ScriptedEvent::Disconnected());
  Delay(run, 10);
  EXPECT_TRUE(TraceLines().empty());
  Delay(run, 10);
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"2026-12-10 12:00:00 --- Disconnected"});
}

TEST_F(DelayEvents, FailureLeavingAHandlerAbortsTheRunInsteadOfReachingTheCaller) {
  // The trace file's directory is gone, so the error event's line fails and
  // the error handler has no handler of its own.
  run.state.DebugOn = true;
  std::filesystem::remove_all(dir.path());
  client.At(env.now_ms(), ScriptedEvent::Error(104, "Connection reset by peer"));
  bool caught_as_ordinary_failure = false;
  bool aborted = false;
  try {
    Delay(run, 10);
  } catch (const std::exception&) {
    caught_as_ordinary_failure = true;
  } catch (const RunAborted& failure) {
    aborted = true;
    EXPECT_NE(failure.what.find("trace file"), std::string::npos) << failure.what;
  }
  EXPECT_TRUE(aborted);
  EXPECT_FALSE(caught_as_ordinary_failure);
}

}  // namespace
}  // namespace vornask::testing
