#include "run/run_checks.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/run_fixture.h"

namespace vornask::testing {
namespace {

constexpr const char* kStamp = "2026-12-10 12:00:00";

std::string Line(const std::string& message) { return kStamp + message; }

using RunChecksTest = RunFixture;

TEST_F(RunChecksTest, NoTargetsEndsTheOrdinaryWayAfterOneSecondWithoutTracing) {
  run.argument_text = "1";
  EXPECT_EQ(window.Load(), (RunEnd{0, false}));
  EXPECT_EQ(env.elapsed_ms(), 1000);
  EXPECT_FALSE(std::filesystem::exists(trace_path()));
  EXPECT_TRUE(client.connects().empty());
}

TEST_F(RunChecksTest, NoTargetsWithTraceEndsAfterTheCommandLine) {
  EnableTrace();
  run.argument_text = "1";
  EXPECT_EQ(window.Load(), (RunEnd{0, false}));
  EXPECT_EQ(env.elapsed_ms(), 1000);
  EXPECT_EQ(TraceLines(), (std::vector<std::string>{"", Line(" Start"), Line(" CommandLine = 1")}));
}

TEST_F(RunChecksTest, TracedArgumentErrorEndsAfterHalfASecond) {
  EnableTrace();
  run.argument_text = "x a:1";
  EXPECT_EQ(window.Load(), (RunEnd{0, false}));
  EXPECT_EQ(env.elapsed_ms(), 500);
  EXPECT_EQ(TraceLines(),
            (std::vector<std::string>{"", Line(" Start"), Line(" CommandLine = x a:1"), Line(" Argument Error")}));
  EXPECT_TRUE(client.connects().empty());
}

TEST_F(RunChecksTest, UntracedArgumentErrorEndsAsARunWithNoTargets) {
  run.argument_text = "1 a:1 b:x";
  EXPECT_EQ(window.Load(), (RunEnd{0, false}));
  EXPECT_EQ(env.elapsed_ms(), 1000);
  EXPECT_TRUE(client.connects().empty());
}

TEST_F(RunChecksTest, ReachableTargetIsTracedDroppedAndCounted) {
  EnableTrace();
  run.argument_text = "1 h:80";
  client.ReplyToConnect(0, 5);
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  // 20 ms poll, 50 ms after the final drop, 500 ms after the verdict line.
  EXPECT_EQ(env.elapsed_ms(), 570);
  EXPECT_EQ(client.disconnects(), std::vector<std::int64_t>{1'000'020});
  EXPECT_EQ(TraceLines(),
            (std::vector<std::string>{"", Line(" Start"), Line(" CommandLine = 1 h:80"),
                                      Line(" --> Connecting to h on port 80"), Line(" <-- Connected to h on port 80"),
                                      Line(" --- Disconnected"), Line(" Return Value: 100")}));
}

TEST_F(RunChecksTest, WithoutTraceTheProcessEndsRightAfterTheTally) {
  run.argument_text = "1 h:80";
  client.ReplyToConnect(0, 5);
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(env.elapsed_ms(), 70);
}

TEST_F(RunChecksTest, NoFinalDropWhenNoLinkIsUp) {
  run.argument_text = "0 h:80";
  client.ReplyToConnect(111, 5);
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_TRUE(client.disconnects().empty());
  EXPECT_EQ(env.elapsed_ms(), 1000);  // the refusal ends the wait at the next whole second
}

struct VerdictCase {
  std::string arguments;
  std::vector<std::int16_t> outcomes;  // completion status per target, in order
  int status;
};

class VerdictTest : public RunFixture, public ::testing::WithParamInterface<VerdictCase> {};

TEST_P(VerdictTest, ComparesTheTallyWithTheRequiredCount) {
  run.argument_text = GetParam().arguments;
  for (std::int16_t status : GetParam().outcomes) client.ReplyToConnect(status, 5);
  EXPECT_EQ(window.Load(), (RunEnd{GetParam().status, true})) << GetParam().arguments;
}

INSTANTIATE_TEST_SUITE_P(Rules, VerdictTest,
                         ::testing::Values(VerdictCase{"0 a:1", {111}, 100}, VerdictCase{"-3 a:1", {111}, 100},
                                           VerdictCase{"2 a:1", {0}, 0}, VerdictCase{"2 a:1 b:2", {0, 0}, 100},
                                           VerdictCase{"2 a:1 b:2", {0, 111}, 0},
                                           VerdictCase{"1 a:1 b:2 c:3", {111, 111, 0}, 100},
                                           VerdictCase{"3 a:1 b:2 c:3", {0, 0, 0}, 100}));

TEST_F(RunChecksTest, TargetConnectedTwiceCountsOnce) {
  run.argument_text = "2 h:80";
  client.ReplyToConnect(0, 5);
  client.At(env.now_ms() + 6, ScriptedEvent::Connected(0));
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  EXPECT_EQ(run.targets[1].Connected, 1);
}

TEST_F(RunChecksTest, UnwritableVerdictLineLeavesTheRunUnfinished) {
  EnableTrace();
  run.argument_text = "1 h:80";
  client.ReplyToConnect(111, 5);
  // A directory takes the file's place between the last line and the verdict.
  client.AtDo(env.now_ms() + 500, [&] {
    std::filesystem::remove(trace_path());
    std::filesystem::create_directory(trace_path());
  });
  EXPECT_THROW(window.Load(), std::system_error);
}

}  // namespace
}  // namespace vornask::testing
