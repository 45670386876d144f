#include "run/connection_check.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

#include "run/run_checks.h"
#include "support/run_fixture.h"

namespace vornask::testing {
namespace {

constexpr const char* kStamp = "2026-12-10 12:00:00";

std::string Line(const std::string& message) { return kStamp + message; }

struct CheckCase {
  const char* name;
  std::int64_t start_ms;               // the virtual clock at the start
  std::optional<ScriptedEvent> event;  // what the client reports, 5 ms after Connect
  std::int64_t check_ms;               // how long the check must take
  int wakeups;                         // one for each event, one for the poll that ends the wait
  std::int16_t mark;                   // the target's Connected mark after it
  const char* outcome_line;            // the trace line the event leaves, if any
};

class CheckTcpStatusTest : public RunFixture, public ::testing::WithParamInterface<CheckCase> {
 protected:
  CheckTcpStatusTest() : RunFixture(GetParam().start_ms) {}
};

TEST_P(CheckTcpStatusTest, WaitsForTheOutcomeOrTheDeadline) {
  const CheckCase& c = GetParam();
  EnableTrace();
  run.state.DebugOn = true;
  SetTarget(1, "h", 80);
  run.state.CurrentTarget = 1;
  if (c.event) client.At(env.now_ms() + 5, *c.event);

  CheckTcpStatus(run);

  EXPECT_EQ(env.elapsed_ms(), c.check_ms);
  // Between events only the clock can settle the outcome: the wait sleeps
  // straight to the poll at which the deadline has passed, never to one
  // before it that would find the outcome still open.
  EXPECT_EQ(env.sleeps(), c.wakeups);
  EXPECT_EQ(run.targets[1].Connected, c.mark);
  std::vector<std::string> lines{Line(" --> Connecting to h on port 80")};
  if (c.outcome_line != nullptr) lines.push_back(Line(c.outcome_line));
  EXPECT_EQ(TraceLines(), lines);
}

INSTANTIATE_TEST_SUITE_P(
    Outcomes, CheckTcpStatusTest,
    ::testing::Values(CheckCase{"SuccessAtTheNextPoll", 1'000'000, ScriptedEvent::Connected(0), 20, 2, 1,
                                " <-- Connected to h on port 80"},
                      CheckCase{"RefusalAtTheNextWholeSecond", 1'000'000, ScriptedEvent::Connected(111), 1000, 2, 0,
                                " --- Failed Connecting to h on port 80"},
                      CheckCase{"RefusalJustBeforeASecondTicks", 1'000'990, ScriptedEvent::Connected(111), 1020, 2, 0,
                                " --- Failed Connecting to h on port 80"},
                      CheckCase{"SilenceUntilTheSecondAfterTheDeadline", 1'000'000, std::nullopt, 26000, 1, 0, nullptr},
                      // The second after the deadline begins 10 ms after a poll: the wait
                      // sleeps once, to the poll after that.
                      CheckCase{"SilenceStartedLateInASecond", 1'000'990, std::nullopt, 25020, 1, 0, nullptr},
                      CheckCase{"ErrorEventChangesNothing", 1'000'000, ScriptedEvent::Error(111, "Connection refused"),
                                26000, 2, 0, "Error 111: Connection refused (tcpClient_Error)"}),
    [](const auto& info) { return std::string(info.param.name); });

struct PollCase {
  const char* name;
  std::int64_t start_ms;
  std::int64_t arrives;  // ms after Connect; what arrives and when
  std::int16_t status;   // of the completion; -1: activity with nothing to deliver
  std::int64_t check_ms;
};

class CheckPolls : public RunFixture, public ::testing::WithParamInterface<PollCase> {
 protected:
  CheckPolls() : RunFixture(GetParam().start_ms) {}
};

// The check looks every 20 ms; an event in either slice of a poll is seen at
// that poll, one that comes exactly at a slice's end at that slice's end.
// Activity that delivers nothing (a lookup finishing, say) changes nothing.
TEST_P(CheckPolls, EndAtThePollAfterTheEventAndWakeOnlyForIt) {
  const PollCase& c = GetParam();
  SetTarget(1, "h", 80);
  run.state.CurrentTarget = 1;
  if (c.status >= 0) {
    client.ReplyToConnect(c.status, c.arrives);
  } else {
    client.ReplySilence();
    client.AtDo(env.now_ms() + c.arrives, [] {});
  }
  CheckTcpStatus(run);
  EXPECT_EQ(env.elapsed_ms(), c.check_ms);
  // The wait wakes for the event and for the poll that ends it, never for
  // the slices or polls in between.
  EXPECT_LE(env.sleeps(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Activity, CheckPolls,
    ::testing::Values(PollCase{"SuccessInTheFirstSliceOfAPoll", 1'000'000, 3, 0, 20},
                      PollCase{"SuccessInTheSecondSliceOfAPoll", 1'000'000, 13, 0, 20},
                      PollCase{"SuccessExactlyAtASliceEnd", 1'000'000, 10, 0, 20},
                      PollCase{"SuccessExactlyAtAPoll", 1'000'000, 40, 0, 40},
                      PollCase{"SuccessJustAfterAPoll", 1'000'000, 41, 0, 60},
                      PollCase{"SuccessLateInTheAttempt", 1'000'000, 24'987, 0, 25'000},
                      PollCase{"RefusalInTheSecondSliceOfAPoll", 1'000'000, 13, 111, 1000},
                      PollCase{"RefusalAsTheSecondTicks", 1'000'990, 10, 111, 1020},
                      PollCase{"NothingToDeliverMidWait", 1'000'000, 12'345, -1, 26'000},
                      // A lookup finishing just as the deadline passes: the wait still
                      // ends at the same poll.
                      PollCase{"NothingToDeliverAsTheDeadlinePasses", 1'000'000, 26'000, -1, 26'000},
                      PollCase{"NothingToDeliverJustBeforeTheDeadlinePasses", 1'000'990, 25'015, -1, 25'020}),
    [](const auto& info) { return std::string(info.param.name); });

using CheckSequenceTest = RunFixture;

TEST_F(CheckSequenceTest, TwoReachableTargetsAreDroppedAndSpacedBy200Ms) {
  EnableTrace();
  run.argument_text = "2 a:1 b:2";
  client.ReplyToConnect(0, 5);
  client.ReplyToConnect(0, 5);
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  ASSERT_EQ(client.connects().size(), 2u);
  EXPECT_EQ(client.connects()[1].at_ms - client.connects()[0].at_ms, 220);
  EXPECT_EQ(client.disconnects(), (std::vector<std::int64_t>{1'000'020, 1'000'240}));
  EXPECT_EQ(
      TraceLines(),
      (std::vector<std::string>{
          "", Line(" Start"), Line(" CommandLine = 2 a:1 b:2"), Line(" --> Connecting to a on port 1"),
          Line(" <-- Connected to a on port 1"), Line(" --- Disconnected"), Line(" --> Connecting to b on port 2"),
          Line(" <-- Connected to b on port 2"), Line(" --- Disconnected"), Line(" Return Value: 100")}));
}

TEST_F(CheckSequenceTest, TenReachableTargetsTakeAboutTwoSeconds) {
  run.argument_text = "10 a:1 a:2 a:3 a:4 a:5 a:6 a:7 a:8 a:9 a:10";
  for (int i = 0; i < 10; ++i) client.ReplyToConnect(0, 5);
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(env.elapsed_ms(), 20 + 9 * 220 + 50);
}

TEST_F(CheckSequenceTest, LateSuccessDuringTheNextPollMarksTheNextTargetAndEndsItsWait) {
  run.argument_text = "1 a:1 b:2";
  client.ReplySilence();
  client.ReplySilence();
  client.At(env.now_ms() + 26'105, ScriptedEvent::Connected(0));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(run.targets[1].Connected, 0);
  EXPECT_EQ(run.targets[2].Connected, 1);
  EXPECT_EQ(env.elapsed_ms(), 26'120 + 50);
}

TEST_F(CheckSequenceTest, LateSuccessDuringThe200MsWaitMarksTheNextTargetWithoutEndingItsWait) {
  run.argument_text = "2 a:1 b:2";
  client.ReplyToConnect(0, 5);
  client.ReplySilence();
  client.At(env.now_ms() + 100, ScriptedEvent::Connected(0));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(run.targets[2].Connected, 1);
  // b's own attempt is silent: its wait runs to the deadline, then the link
  // the late success left up is dropped.
  EXPECT_EQ(env.elapsed_ms(), 26'000 + 50);
}

TEST_F(CheckSequenceTest, LateFailureDuringTheNextPollCutsThatWaitShort) {
  run.argument_text = "1 a:1 b:2";
  client.ReplySilence();
  client.ReplySilence();
  client.At(env.now_ms() + 26'105, ScriptedEvent::Connected(111));
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  EXPECT_EQ(env.elapsed_ms(), 27'000);
}

TEST_F(CheckSequenceTest, LateFailureDuringThe200MsWaitHasNoEffect) {
  run.argument_text = "1 a:1 b:2";
  client.ReplyToConnect(0, 5);
  client.ReplySilence();
  client.At(env.now_ms() + 100, ScriptedEvent::Connected(111));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(env.elapsed_ms(), 26'000);
}

TEST_F(CheckSequenceTest, SuccessDuringTheFinalDropIsCreditedBeyondTheLastTarget) {
  run.argument_text = "2 a:1";
  client.ReplyToConnect(0, 5);
  client.At(env.now_ms() + 30, ScriptedEvent::Connected(0));
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  EXPECT_EQ(run.targets[2].Connected, 1);
}

TEST_F(CheckSequenceTest, SuccessAfterTheVerdictOfTenTargetsWritesTheHostOnlyLine) {
  EnableTrace();
  run.argument_text = "10 a:1 a:2 a:3 a:4 a:5 a:6 a:7 a:8 a:9 last:10";
  for (int i = 0; i < 10; ++i) client.ReplyToConnect(0, 5);
  client.At(env.now_ms() + 2'100, ScriptedEvent::Connected(0));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  const std::vector<std::string> lines = TraceLines();
  ASSERT_GE(lines.size(), 3u);
  EXPECT_EQ(std::vector<std::string>(lines.end() - 3, lines.end()),
            (std::vector<std::string>{"2026-12-10 12:00:02 --- Disconnected", "2026-12-10 12:00:02 Return Value: 100",
                                      "2026-12-10 12:00:02 --- Failed Connecting to last"}));
}

TEST_F(CheckSequenceTest, ErrorEventWithoutTraceDoesNothing) {
  run.argument_text = "1 a:1";
  client.ReplyToConnect(0, 15);
  client.At(env.now_ms() + 5, ScriptedEvent::Error(104, "Connection reset by peer"));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(env.elapsed_ms(), 20 + 50);
  EXPECT_FALSE(std::filesystem::exists(trace_path()));
}

class LocalFailureTest : public RunFixture, public ::testing::WithParamInterface<bool> {};

TEST_P(LocalFailureTest, IsToldOnStandardErrorTracedOrNot) {
  const bool traced = GetParam();
  if (traced) EnableTrace();
  run.argument_text = "1 a:1";
  client.ReplyToConnect(24, 0);
  client.At(env.now_ms(), ScriptedEvent::Error(24, "Too many open files", ErrorOrigin::kLocal));
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  EXPECT_EQ(errors.lines, std::vector<std::string>{"vornask: could not try a on port 1: Too many open files "
                                                   "(error 24); it counts as not reached"});
  if (traced) {
    const std::vector<std::string> lines = TraceLines();
    ASSERT_EQ(lines.size(), 7u);
    EXPECT_EQ(lines[4], "2026-12-10 12:00:00Error 24: Too many open files (tcpClient_Error)");
    EXPECT_EQ(lines[5], Line(" --- Failed Connecting to a on port 1"));
  }
}

INSTANTIATE_TEST_SUITE_P(Trace, LocalFailureTest, ::testing::Values(false, true),
                         [](const auto& info) { return std::string(info.param ? "Traced" : "Untraced"); });

TEST_F(CheckSequenceTest, ConnectionErrorsStayOffStandardError) {
  EnableTrace();
  run.argument_text = "1 a:1";
  client.ReplyToConnect(0, 15);
  client.At(env.now_ms() + 5, ScriptedEvent::Error(104, "Connection reset by peer"));
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(errors.lines, std::vector<std::string>{});
}

TEST_F(CheckSequenceTest, FailureTracingADisconnectionWritesTheHandlersLine) {
  EnableTrace();
  run.argument_text = "1 a:1 b:2";
  client.ReplyToConnect(0, 5);
  client.ReplyToConnect(0, 5);
  // The drop before the second target raises the disconnection; its line's
  // timestamp fails once, after the file was opened.
  client.AtDo(env.now_ms() + 20, [&] { env.fail_timestamps = 1; });
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  const std::vector<std::string> lines = TraceLines();
  ASSERT_GE(lines.size(), 7u);
  EXPECT_EQ(lines[5], Line(" Error When Disconnecting (tcpClient_Disconnected)"));
  EXPECT_EQ(lines[6], Line(" --> Connecting to b on port 2"));
}

TEST_F(CheckSequenceTest, FailureLeavingAHandlerDuringThe200MsWaitIsNotCaughtBySetup) {
  EnableTrace();
  run.argument_text = "1 a:1 b:2";
  client.ReplyToConnect(0, 5);
  // During the wait after the drop, an error event whose line cannot be
  // written: the setup handler of the second check must not take it.
  client.AtDo(env.now_ms() + 30, [&] {
    std::filesystem::remove(trace_path());
    std::filesystem::create_directory(trace_path());
  });
  client.At(env.now_ms() + 30, ScriptedEvent::Error(104, "Connection reset by peer"));
  EXPECT_THROW(window.Load(), RunAborted);
  EXPECT_EQ(client.connects().size(), 1u);
}

TEST_F(CheckSequenceTest, TargetWithoutAColonIsStillAttempted) {
  EnableTrace();
  run.argument_text = "1 nocolon";
  client.ReplyToConnect(111, 5);
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  ASSERT_EQ(client.connects().size(), 1u);
  EXPECT_EQ(client.connects()[0].host, "");
  EXPECT_EQ(client.connects()[0].port, 0);
  EXPECT_EQ(TraceLines()[3], Line(" --> Connecting to  on port 0"));
}

TEST_F(CheckSequenceTest, SetupFailureSkipsTheAttemptAndTheRunGoesOn) {
  EnableTrace();
  run.argument_text = "1 a:1 b:2";
  client.ReplyToConnect(0, 5);
  client.ReplyToConnect(0, 5);
  client.AtDo(env.now_ms() + 10, [&] { client.fail_link_up = 1; });
  EXPECT_EQ(window.Load(), (RunEnd{100, true}));
  EXPECT_EQ(client.connects().size(), 1u);
  const std::vector<std::string> lines = TraceLines();
  EXPECT_EQ(lines[5], Line(" Error When Connecting to b on port 2 (modVornask_CheckTcpStatus)"));
  EXPECT_EQ(run.targets[2].Connected, 0);
}

TEST_F(CheckSequenceTest, ConnectFailingAtOnceIsSkippedAndTheWaitRunsToTheDeadline) {
  EnableTrace();
  run.argument_text = "1 a:1";
  client.fail_connect = true;
  EXPECT_EQ(window.Load(), (RunEnd{0, true}));
  EXPECT_EQ(env.elapsed_ms(), 26'000 + 500);
  EXPECT_EQ(TraceLines().back(), "2026-12-10 12:00:26 Return Value: 0");
}

TEST_F(CheckSequenceTest, FailureLeavingAnEventHandlerStopsTheRunWithoutAVerdict) {
  EnableTrace();
  run.argument_text = "1 a:1";
  client.ReplyToConnect(0, 5);
  client.fail_peer_host = true;
  EXPECT_THROW(window.Load(), RunAborted);
  EXPECT_EQ(TraceLines().back(), Line(" --> Connecting to a on port 1"));
}

}  // namespace
}  // namespace vornask::testing
