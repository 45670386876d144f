// The built probe against real listeners on loopback: exit statuses, the
// trace's lines in order, and timings with lenient bounds (the machine may
// be busy). Each test runs a copy of the binary in its own directory, so
// ctest can run the slow ones side by side.
#include <gtest/gtest.h>

#include <chrono>
#include <string>
#include <vector>

#include "support/loopback.h"
#include "support/process.h"
#include "support/sealed.h"
#include "support/temp_dir.h"

namespace vornask::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Behaviour = LoopbackListener::Behaviour;
using Lines = std::vector<std::string>;

class ProbeBinary : public ::testing::Test {
 protected:
  TempDir dir;
  ProbeCopy probe{dir.path()};
};

TEST_F(ProbeBinary, TwoAcceptingTargetsAreReachedAndTracedInOrder) {
  LoopbackListener first, second;
  probe.EnableTrace();
  const std::string a = Target("127.0.0.1", first.port()), b = Target("127.0.0.1", second.port());
  const ProcessResult result = probe.Run({"2", a, b});
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.err, "");
  EXPECT_EQ(
      probe.TraceMessages(),
      (Lines{"", " Start", " CommandLine = 2 " + a + " " + b, " --> Connecting to " + OnPort("127.0.0.1", first.port()),
             " <-- Connected to " + OnPort("127.0.0.1", first.port()), " --- Disconnected",
             " --> Connecting to " + OnPort("127.0.0.1", second.port()),
             " <-- Connected to " + OnPort("127.0.0.1", second.port()), " --- Disconnected", " Return Value: 100"}));
  EXPECT_EQ(first.accepted(), 1);
  EXPECT_EQ(second.accepted(), 1);
}

TEST_F(ProbeBinary, RefusedTargetEndsWithinAboutASecond) {
  RefusingPort refusing;
  probe.EnableTrace();
  const ProcessResult result = probe.Run({"1", Target("127.0.0.1", refusing.port())});
  EXPECT_EQ(result.status, 0);
  // At most one second to the clock's next whole second, then the 500 ms
  // wait after the verdict line.
  EXPECT_LE(result.elapsed, milliseconds(2500) + kStartUpAllowance);
  EXPECT_EQ(probe.TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + Target("127.0.0.1", refusing.port()),
                   " --> Connecting to " + OnPort("127.0.0.1", refusing.port()),
                   " --- Failed Connecting to " + OnPort("127.0.0.1", refusing.port()), " Return Value: 0"}));
}

TEST_F(ProbeBinary, SilentTargetRunsOutItsDeadlineIn25To26Seconds) {
  LoopbackListener silent(Behaviour::kSilent);
  probe.EnableTrace();
  const ProcessResult result = probe.Run({"1", Target("127.0.0.1", silent.port())});
  EXPECT_EQ(result.status, 0);
  // 25 to 26 seconds of waiting, then half a second after the verdict line.
  EXPECT_GE(result.elapsed, milliseconds(25'000));
  EXPECT_LE(result.elapsed, milliseconds(27'500) + kStartUpAllowance);
  EXPECT_EQ(probe.TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + Target("127.0.0.1", silent.port()),
                   " --> Connecting to " + OnPort("127.0.0.1", silent.port()), " Return Value: 0"}));
}

TEST_F(ProbeBinary, TenReachableTargetsTakeAboutTwoSeconds) {
  LoopbackListener listener;
  std::vector<std::string> arguments{"10"};
  for (int i = 0; i < 10; ++i) arguments.push_back(Target("127.0.0.1", listener.port()));
  const ProcessResult result = probe.Run(arguments);
  EXPECT_EQ(result.status, 100);
  // First poll, then 200 ms and a poll for each later target, 50 ms after the final drop.
  EXPECT_GE(result.elapsed, milliseconds(2050));
  EXPECT_LE(result.elapsed, milliseconds(4000) + kStartUpAllowance);
  EXPECT_EQ(listener.accepted(), 10);
}

// Over four minutes of waiting that the sanitizers would only repeat: the
// release build alone runs it.
TEST_F(ProbeBinary, SlowTenSilentTargetsEndIn250To265Seconds) {
  if (kSanitizerBuild) GTEST_SKIP() << "runs in the release build only";
  LoopbackListener silent(Behaviour::kSilent);
  probe.EnableTrace();
  std::vector<std::string> arguments{"1"};
  Lines expected{"", " Start", ""};
  for (int i = 0; i < 10; ++i) {
    arguments.push_back(Target("127.0.0.1", silent.port()));
    expected.push_back(" --> Connecting to " + OnPort("127.0.0.1", silent.port()));
  }
  expected.push_back(" Return Value: 0");
  const ProcessResult result = probe.Run(arguments, seconds(300));
  EXPECT_EQ(result.status, 0);
  EXPECT_GE(result.elapsed, seconds(250));
  EXPECT_LE(result.elapsed, seconds(265) + kStartUpAllowance);
  Lines messages = probe.TraceMessages();
  ASSERT_EQ(messages.size(), expected.size());
  messages[2] = "";  // the command line, checked elsewhere
  EXPECT_EQ(messages, expected);
}

TEST_F(ProbeBinary, LocalhostIsResolved) {
  if (!Sealed()) GTEST_SKIP() << kNeedsSealed;
  LoopbackListener listener;
  probe.EnableTrace();
  const ProcessResult result = probe.Run({"1", Target("localhost", listener.port())});
  EXPECT_EQ(result.status, 100);
  const Lines messages = probe.TraceMessages();
  ASSERT_GE(messages.size(), 5u);
  EXPECT_EQ(messages[3], " --> Connecting to " + OnPort("localhost", listener.port()));
  EXPECT_EQ(messages[4], " <-- Connected to " + OnPort("127.0.0.1", listener.port()));
}

TEST_F(ProbeBinary, WithoutTheTraceFileNothingIsWritten) {
  LoopbackListener listener;
  const ProcessResult result = probe.Run({"1", Target("127.0.0.1", listener.port())});
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_FALSE(std::filesystem::exists(probe.trace()));
}

struct EndCase {
  const char* name;
  std::vector<std::string> arguments;
  bool trace;
  Lines messages;
  milliseconds at_least;
  std::string err;  // standard error, in full
};

class ProbeBinaryEnds : public ProbeBinary, public ::testing::WithParamInterface<EndCase> {};

TEST_P(ProbeBinaryEnds, WithStatusZeroAfterItsWait) {
  const EndCase& c = GetParam();
  if (c.trace) probe.EnableTrace();
  const ProcessResult result = probe.Run(c.arguments);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, c.err);
  EXPECT_GE(result.elapsed, c.at_least);
  EXPECT_LE(result.elapsed, c.at_least + milliseconds(1500) + kStartUpAllowance);
  if (c.trace) {
    EXPECT_EQ(probe.TraceMessages(), c.messages);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, ProbeBinaryEnds,
    ::testing::Values(EndCase{"NoArguments", {}, true, {"", " Start", " CommandLine = "}, milliseconds(1000), ""},
                      EndCase{"CountOnly", {"1"}, true, {"", " Start", " CommandLine = 1"}, milliseconds(1000), ""},
                      EndCase{"BadCountTraced",
                              {"-h"},
                              true,
                              {"", " Start", " CommandLine = -h", " Argument Error"},
                              milliseconds(500),
                              "vornask: argument error: COUNT \"-h\" is not a number; see vornask --help\n"},
                      EndCase{"BadCountUntraced",
                              {"-h"},
                              false,
                              {},
                              milliseconds(1000),
                              "vornask: argument error: COUNT \"-h\" is not a number; see vornask --help\n"},
                      EndCase{"BlankInsideAHost",
                              {"1", "my host:80x"},
                              true,
                              {"", " Start", " CommandLine = 1 \"my host:80x\"", " Argument Error"},
                              milliseconds(500),
                              "vornask: argument error: target 1 \"my host:80x\": port \"80x\" is not a number; "
                              "see vornask --help\n"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(ProbeBinary, HelpAndVersionPrintAndTraceNothing) {
  probe.EnableTrace();
  // The option alone, also in quotes of its own, as the argument text reads them.
  for (const char* help_option : {"--help", "\"--help\""}) {
    const ProcessResult help = probe.Run({help_option});
    EXPECT_EQ(help.status, 0) << help_option;
    EXPECT_NE(help.out.find("Usage: vornask COUNT HOST:PORT"), std::string::npos) << help_option;
    EXPECT_EQ(help.err, "") << help_option;
  }
  for (const char* version_option : {"--version", "\"--version\""}) {
    const ProcessResult version = probe.Run({version_option});
    EXPECT_EQ(version.status, 0) << version_option;
    EXPECT_EQ(version.out.rfind("vornask ", 0), 0u) << version_option;
    EXPECT_EQ(version.err, "") << version_option;
  }
  EXPECT_EQ(ReadFile(probe.trace()), "");
}

TEST_F(ProbeBinary, EmptyCountReachesWhateverTheTargetsDoAndSaysSo) {
  RefusingPort refusing;
  probe.EnableTrace();
  const std::string target = Target("127.0.0.1", refusing.port());
  const ProcessResult result = probe.Run({"", target});
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "vornask: warning: COUNT is empty and counts as 0, so any run with a target gives 100\n");
  EXPECT_EQ(probe.TraceMessages(),
            (Lines{"", " Start", " CommandLine = \"\" " + target,
                   " --> Connecting to " + OnPort("127.0.0.1", refusing.port()),
                   " --- Failed Connecting to " + OnPort("127.0.0.1", refusing.port()), " Return Value: 100"}));
}

TEST_F(ProbeBinary, UnwritableTraceStopsTheRunWithStatusZeroAndSaysWhy) {
  LoopbackListener listener;
  probe.EnableTrace();
  // A file size limit of zero makes every append fail, as a full disk would.
  const ProcessResult result =
      probe.Run({"1", Target("127.0.0.1", listener.port())}, seconds(60), ProcessLimits{.file_size_bytes = 0});
  EXPECT_EQ(result.status, 0);
  EXPECT_NE(result.err.find("trace file"), std::string::npos) << result.err;
  EXPECT_EQ(listener.accepted(), 0);
}

}  // namespace
}  // namespace vornask::testing
