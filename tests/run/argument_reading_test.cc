#include "run/argument_reading.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/argument_text.h"
#include "support/run_fixture.h"

namespace vornask::testing {
namespace {

struct Target {
  std::string host;
  std::int32_t port;
  friend bool operator==(const Target&, const Target&) = default;
};

void PrintTo(const Target& target, std::ostream* out) { *out << target.host << ':' << target.port; }

struct ReadCase {
  std::string text;
  std::int16_t required;
  std::vector<Target> targets;
};

class ReadArgumentsTest : public RunFixture, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(ReadArgumentsTest, FillsCountAndTargets) {
  run.argument_text = GetParam().text;
  EXPECT_EQ(ReadArguments(run), ArgumentsOutcome::kContinue);
  EXPECT_EQ(run.state.RequiredCount, GetParam().required);
  std::vector<Target> read;
  for (int n = 1; n <= run.state.TargetCount; ++n) read.push_back({run.targets[n].Host, run.targets[n].Port});
  EXPECT_EQ(read, GetParam().targets) << GetParam().text;
  EXPECT_EQ(env.elapsed_ms(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ReadArgumentsTest,
    ::testing::Values(
        ReadCase{"", 0, {}}, ReadCase{"3", 3, {}}, ReadCase{"-5 a:1", -5, {{"a", 1}}},
        ReadCase{"2 a:80 b:443", 2, {{"a", 80}, {"b", 443}}}, ReadCase{"1  a:80", 1, {}},
        ReadCase{"1 a:80  b:81", 1, {{"a", 80}}}, ReadCase{"1 nocolon b:2", 1, {{"", 0}, {"b", 2}}},
        ReadCase{"1 :80", 1, {{"", 80}}}, ReadCase{"1 \"my host:80\"", 1, {{"my host", 80}}},
        ReadCase{"1 \"\" a:1", 1, {}}, ReadCase{"1 h:-1", 1, {{"h", -1}}}, ReadCase{"1 h:70000", 1, {{"h", 70000}}},
        ReadCase{"1 \"h: 80 \"", 1, {{"h", 80}}}, ReadCase{"2.5 h:80.5", 2, {{"h", 80}}},
        ReadCase{"1 a b c d e f g h i x y:5",
                 1,
                 {{"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"x y", 5}}}));

class ArgumentErrorTest : public RunFixture, public ::testing::WithParamInterface<std::string> {};

TEST_P(ArgumentErrorTest, UntracedErrorLeavesNoTargets) {
  run.argument_text = GetParam();
  EXPECT_EQ(ReadArguments(run), ArgumentsOutcome::kContinue);
  EXPECT_EQ(run.state.TargetCount, 0);
  EXPECT_EQ(env.elapsed_ms(), 0);
}

TEST_P(ArgumentErrorTest, TracedErrorWritesItsLineWaitsAndEndsTheProgram) {
  EnableTrace();
  run.state.DebugOn = true;
  run.argument_text = GetParam();
  EXPECT_EQ(ReadArguments(run), ArgumentsOutcome::kEndProgram);
  EXPECT_EQ(run.state.TargetCount, 0);
  EXPECT_EQ(env.elapsed_ms(), 500);
  EXPECT_EQ(TraceLines(), (std::vector<std::string>{"2026-12-10 12:00:00 CommandLine = " + GetParam(),
                                                    "2026-12-10 12:00:00 Argument Error"}));
}

INSTANTIATE_TEST_SUITE_P(Texts, ArgumentErrorTest,
                         ::testing::Values("x", "1 a:", "1 a:b", "1 a:1:2", "1 [::1]:22", "32768", "1 a:2147483648",
                                           "1 a:1 a:1 a:1 a:1 a:1 a:1 a:1 a:1 a:1 a:1 a:1"));

TEST_F(RunFixture, ArgumentErrorKeepsWhatWasStoredBeforeIt) {
  run.argument_text = "1 a:80 b:x";
  ReadArguments(run);
  EXPECT_EQ(run.state.RequiredCount, 1);
  EXPECT_EQ(run.targets[1].Host, "a");
  EXPECT_EQ(run.targets[1].Port, 80);
  EXPECT_EQ(run.targets[2].Host, "b");
  EXPECT_EQ(run.state.TargetCount, 0);
}

TEST_F(RunFixture, OverlongTextFailsBeforeTheCommandLineIsTraced) {
  EnableTrace();
  run.state.DebugOn = true;
  run.argument_text = "1 a:" + std::string(32765, '1');
  EXPECT_EQ(ReadArguments(run), ArgumentsOutcome::kEndProgram);
  EXPECT_EQ(TraceLines(), std::vector<std::string>{"2026-12-10 12:00:00 Argument Error"});
}

TEST_F(RunFixture, UnwritableTraceLeavesTheArgumentErrorHandler) {
  run.state.DebugOn = true;
  run.argument_text = "x";
  std::filesystem::create_directory(trace_path());
  EXPECT_THROW(ReadArguments(run), std::system_error);
}

struct ErrorLineCase {
  std::string text;
  std::string line;  // between "vornask: argument error: " and "; see vornask --help"
};

class ArgumentErrorLineTest : public RunFixture, public ::testing::WithParamInterface<ErrorLineCase> {};

TEST_P(ArgumentErrorLineTest, SaysWhichTokenAndWhyOnStandardErrorTracedOrNot) {
  const std::string expected = "vornask: argument error: " + GetParam().line + "; see vornask --help";
  run.argument_text = GetParam().text;
  ReadArguments(run);
  EXPECT_EQ(errors.lines, std::vector<std::string>{expected});

  errors.lines.clear();
  EnableTrace();
  run.state.DebugOn = true;
  ReadArguments(run);
  EXPECT_EQ(errors.lines, std::vector<std::string>{expected});
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ArgumentErrorLineTest,
    ::testing::Values(
        ErrorLineCase{"-h", "COUNT \"-h\" is not a number"},
        ErrorLineCase{"40000 a:1", "COUNT \"40000\" is out of range (-32768 to 32767)"},
        ErrorLineCase{"1 127.0.0.1:80,", "target 1 \"127.0.0.1:80,\": port \"80,\" is not a number"},
        ErrorLineCase{"1 a:1 b:", "target 2 \"b:\": port \"\" is not a number"},
        ErrorLineCase{"1 a:2147483648",
                      "target 1 \"a:2147483648\": port \"2147483648\" is out of range "
                      "(-2147483648 to 2147483647)"},
        ErrorLineCase{"1 a:1 a:2 a:3 a:4 a:5 a:6 a:7 a:8 a:9 a:10 a:11",
                      "target 10 \"a:10 a:11\": port \"10 a:11\" is not a number (at most ten targets are read; "
                      "the tenth takes the rest of the text)"},
        ErrorLineCase{"1 a:\x1b]0;owned\x07", "target 1 \"a:^[]0;owned^G\": port \"^[]0;owned^G\" is not a number"},
        ErrorLineCase{"1 host:" + std::string(60, '9'), "target 1 \"host:" + std::string(43, '9') + "...\": port \"" +
                                                            std::string(48, '9') +
                                                            "...\" is out of range (-2147483648 to 2147483647)"},
        ErrorLineCase{"1 a:" + std::string(32765, '1'),
                      std::string("the argument text is longer than 32767 ") + kArgumentTextUnits},
        // The limit of 48 shown bytes: a token that fills it is shown whole ...
        ErrorLineCase{std::string(48, 'x'), "COUNT \"" + std::string(48, 'x') + "\" is not a number"},
        // ... and a cut never splits a UTF-8 character or a caret pair.
        ErrorLineCase{std::string(47, 'x') + "\xc3\xa9", "COUNT \"" + std::string(47, 'x') + "...\" is not a number"},
        ErrorLineCase{std::string(46, 'x') + "\xe2\x82\xac",
                      "COUNT \"" + std::string(46, 'x') + "...\" is not a number"},
        ErrorLineCase{std::string(45, 'x') + "\xe2\x82\xacz",
                      "COUNT \"" + std::string(45, 'x') + "\xe2\x82\xac...\" is not a number"},
        ErrorLineCase{std::string(47, 'x') + "\x1b" + "z", "COUNT \"" + std::string(47, 'x') + "...\" is not a number"},
        ErrorLineCase{std::string(46, 'x') + "\x1b" + "z",
                      "COUNT \"" + std::string(46, 'x') + "^[...\" is not a number"},
        // Control characters count as shown, two bytes each.
        ErrorLineCase{std::string(46, 'x') + "\r\n", "COUNT \"" + std::string(46, 'x') + "^M...\" is not a number"},
        // A byte that starts no whole character is one on its own.
        ErrorLineCase{std::string(47, 'x') + "\xc3z",
                      "COUNT \"" + std::string(47, 'x') + "\xc3...\" is not a number"}));

TEST_F(RunFixture, ArgumentsThatReadFineLeaveStandardErrorAlone) {
  run.argument_text = "2 a:1 nocolon \"b c:2.5\"";
  EXPECT_EQ(ReadArguments(run), ArgumentsOutcome::kContinue);
  EXPECT_EQ(run.state.TargetCount, 3);
  EXPECT_EQ(errors.lines, std::vector<std::string>{});
}

struct EmptyCountCase {
  std::string text;
  std::vector<std::string> lines;  // on standard error
  bool rejected = false;
};

class EmptyCountTest : public RunFixture, public ::testing::WithParamInterface<EmptyCountCase> {};

TEST_P(EmptyCountTest, IsToldOnStandardErrorWhenATargetFollowsAndLeavesTheTraceAlone) {
  EnableTrace();
  run.state.DebugOn = true;
  run.argument_text = GetParam().text;
  ReadArguments(run);
  EXPECT_EQ(run.state.RequiredCount, 0);
  EXPECT_EQ(errors.lines, GetParam().lines);
  std::vector<std::string> trace{"2026-12-10 12:00:00 CommandLine = " + GetParam().text};
  if (GetParam().rejected) trace.push_back("2026-12-10 12:00:00 Argument Error");
  EXPECT_EQ(TraceLines(), trace);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, EmptyCountTest,
    ::testing::Values(EmptyCountCase{"\"\" a:1", {kEmptyCountWarning}}, EmptyCountCase{" a:1", {kEmptyCountWarning}},
                      EmptyCountCase{"\t1", {kEmptyCountWarning}}, EmptyCountCase{"\"\" a:1 b:2", {kEmptyCountWarning}},
                      EmptyCountCase{"0 a:1", {}}, EmptyCountCase{"\"\"", {}}, EmptyCountCase{"\"\"  a:1", {}},
                      EmptyCountCase{"", {}},
                      // A rejected target leaves nothing to probe: the argument error alone.
                      EmptyCountCase{"\"\" a:x",
                                     {"vornask: argument error: target 1 \"a:x\": port \"x\" is not a number; "
                                      "see vornask --help"},
                                     true}));

TEST_F(RunFixture, FailedTraceIsNeverReportedAsAnArgumentError) {
  // Room is not the point here: once the command line's write fails, the
  // handler's own line fails too and leaves the procedure.
  std::filesystem::create_directory(trace_path());
  run.state.DebugOn = true;
  run.argument_text = "1 a:1";
  EXPECT_THROW(ReadArguments(run), std::system_error);
  EXPECT_EQ(errors.lines, std::vector<std::string>{});
  EXPECT_EQ(env.elapsed_ms(), 0);
}

}  // namespace
}  // namespace vornask::testing
