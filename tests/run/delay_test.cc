#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "run/pacer.h"
#include "support/run_fixture.h"

namespace vornask::testing {
namespace {

struct SliceCase {
  std::int16_t ms;
  int slices;
};

class DelaySlices : public RunFixture, public ::testing::WithParamInterface<SliceCase> {};

TEST_P(DelaySlices, LastsItsSlicesAndWakesOnceWhenNothingHappens) {
  Delay(run, GetParam().ms);
  EXPECT_EQ(env.slept_ms(), 10 * GetParam().slices);
  // Nothing can change before the end: one wake-up, one delivery there.
  EXPECT_EQ(client.deliveries(), GetParam().slices > 0 ? 1 : 0);
  EXPECT_LE(env.sleeps(), 1);
}

INSTANTIATE_TEST_SUITE_P(Truncation, DelaySlices,
                         ::testing::Values(SliceCase{-10, 0}, SliceCase{0, 0}, SliceCase{5, 0}, SliceCase{9, 0},
                                           SliceCase{10, 1}, SliceCase{19, 1}, SliceCase{20, 2}, SliceCase{200, 20},
                                           SliceCase{1000, 100}, SliceCase{32767, 3276}));

class DelayEvents : public RunFixture {};

// Records when each disconnection is delivered, on the virtual clock.
class DeliveryTimes final : public TcpClientEvents {
 public:
  explicit DeliveryTimes(VirtualEnv& env) : env_(env) {}
  void tcpClient_Connected(std::int16_t) override {}
  void tcpClient_Disconnected() override { at.push_back(env_.elapsed_ms()); }
  void tcpClient_Error(std::int16_t, const std::string&, ErrorOrigin) override {}
  std::vector<std::int64_t> at;

 private:
  VirtualEnv& env_;
};

struct GridCase {
  std::int64_t arrives;    // ms after the pause began
  std::int64_t delivered;  // ms after the pause began
};

class DelayGrid : public RunFixture, public ::testing::WithParamInterface<GridCase> {};

TEST_P(DelayGrid, DeliversAtTheEndOfTheSliceInWhichTheEventCame) {
  DeliveryTimes times(env);
  run.events = &times;
  client.At(env.now_ms() + GetParam().arrives, ScriptedEvent::Disconnected());
  Delay(run, 200);
  EXPECT_EQ(times.at, std::vector<std::int64_t>{GetParam().delivered});
  EXPECT_EQ(env.elapsed_ms(), 200);
  // One wake-up for the event (none of its own at the very end), one for
  // the end of the pause.
  EXPECT_LE(env.sleeps(), 2);
}

INSTANTIATE_TEST_SUITE_P(Arrivals, DelayGrid,
                         ::testing::Values(GridCase{0, 10}, GridCase{1, 10}, GridCase{9, 10}, GridCase{10, 10},
                                           GridCase{11, 20}, GridCase{55, 60}, GridCase{199, 200}, GridCase{200, 200}));

TEST_F(DelayEvents, SlowWorkAtASliceEndDoesNotEatIntoTheSlicesAfterIt) {
  // The work at the end of slice 5 takes 150 ms; each later slice still
  // lasts its 10 ms after it, as sleeping slice by slice would.
  client.AtDo(env.now_ms() + 50, [&] { env.SleepMilliseconds(150); });
  Delay(run, 200);
  EXPECT_EQ(env.elapsed_ms(), 350);
}

struct WorkCase {
  std::int64_t work_ms;  // taken by work at a slice end
  std::int64_t ends;     // ms after the first pause began
};

std::string WorkName(const ::testing::TestParamInfo<WorkCase>& info) {
  return "Work" + std::to_string(info.param.work_ms) + "Ms";
}

// Work of up to one slice at a slice end is what sleeping slice by slice
// would have absorbed into the next slice: the grid holds. Longer work
// starts it again from where the work ended.
class DelayWorkAtASliceEnd : public RunFixture, public ::testing::WithParamInterface<WorkCase> {};

TEST_P(DelayWorkAtASliceEnd, KeepsTheGridUpToOneSlice) {
  client.AtDo(env.now_ms() + 50, [&] { env.SleepMilliseconds(GetParam().work_ms); });
  Delay(run, 200);
  EXPECT_EQ(env.elapsed_ms(), GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(Work, DelayWorkAtASliceEnd,
                         ::testing::Values(WorkCase{0, 200}, WorkCase{4, 200}, WorkCase{10, 200}, WorkCase{11, 211}),
                         WorkName);

// The same between two pauses: the second keeps to the first one's grid
// when it starts within a slice of the first one's end.
class DelayWorkBetweenPauses : public RunFixture, public ::testing::WithParamInterface<WorkCase> {};

TEST_P(DelayWorkBetweenPauses, KeepsTheGridUpToOneSlice) {
  Delay(run, 20);
  env.SleepMilliseconds(GetParam().work_ms);
  Delay(run, 20);
  EXPECT_EQ(env.elapsed_ms(), GetParam().ends);
}

INSTANTIATE_TEST_SUITE_P(Work, DelayWorkBetweenPauses,
                         ::testing::Values(WorkCase{0, 40}, WorkCase{4, 40}, WorkCase{10, 40}, WorkCase{11, 51}),
                         WorkName);

TEST_F(DelayEvents, PausesThatFollowOneAnotherKeepToOneGrid) {
  DeliveryTimes times(env);
  run.events = &times;
  client.At(env.now_ms() + 14, ScriptedEvent::Disconnected());
  client.At(env.now_ms() + 27, ScriptedEvent::Disconnected());
  Delay(run, 20);
  Delay(run, 20);
  EXPECT_EQ(times.at, (std::vector<std::int64_t>{20, 30}));
}

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
  // A directory stands where the trace file should be, so the error event's
  // line fails and the error handler has no handler of its own.
  run.state.DebugOn = true;
  std::filesystem::create_directory(trace_path());
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
