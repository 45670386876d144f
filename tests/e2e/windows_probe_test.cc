// The Windows program, vornask.exe, under wine against real listeners on
// loopback: statuses, the trace's exact bytes, timings with lenient bounds,
// what it writes to a redirected output, and the argument text it takes from
// command lines that wine itself never writes (given through the launcher).
// Each test skips when there is no Windows build or no wine.
#include <gtest/gtest.h>

#include <chrono>
#include <ctime>
#include <filesystem>
#include <optional>
#include <ostream>
#include <string>
#include <utility>
#include <vector>

#include "entry/usage.h"
#include "support/loopback.h"
#include "support/process.h"
#include "support/temp_dir.h"
#include "support/wine_probe.h"

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Behaviour = LoopbackListener::Behaviour;
using Lines = std::vector<std::string>;

// What a warm wine adds to a run of the program: starting the loader and
// the program and ending them (measured at 60 to 150 ms on an idle machine).
constexpr milliseconds kWineStartUp(1000);

// A zone that is neither the machine's (UTC, most likely) nor a whole
// number of hours from it, without summer time: the stamps must be local
// time as the TZ of the program's environment gives it.
constexpr const char* kZone = "TZ=XST-5:30";
constexpr std::time_t kZoneOffsetSeconds = 5 * 3600 + 30 * 60;

// The time in that zone as the trace stamps it.
std::string ZoneStamp() {
  const std::time_t now = std::time(nullptr) + kZoneOffsetSeconds;
  std::tm zoned{};
  gmtime_r(&now, &zoned);
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &zoned);
  return text;
}

std::string CrLf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

class WindowsProbe : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string unavailable = WineUnavailable();
    if (!unavailable.empty()) GTEST_SKIP() << unavailable;
    probe.emplace(dir.path());
  }

  TempDir dir;
  std::optional<WineProbe> probe;
};

TEST_F(WindowsProbe, AcceptingTargetIsReachedAndTracedInLocalTimeWithCrLfEnds) {
  LoopbackListener listener;
  probe->EnableTrace();
  const std::string target = Target("127.0.0.1", listener.port());
  const std::string before = ZoneStamp();
  const ProcessResult result = probe->Run({"1", target}, seconds(60), {kZone});
  const std::string after = ZoneStamp();
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(listener.accepted(), 1);
  // Every line ends in CR LF (the reading checks it) and all but the empty
  // first one start with a stamp of the zone's time during the run.
  const Lines lines = ReadCrLfLines(probe->trace());
  ASSERT_EQ(lines.size(), 7u);
  EXPECT_EQ(lines[0], "");
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::string stamp = lines[i].substr(0, kTimestampBytes);
    EXPECT_TRUE(StartsWithTimestamp(stamp)) << lines[i];
    EXPECT_LE(before, stamp);
    EXPECT_LE(stamp, after);
  }
  // wine gives the program the command line "Z:\...\vornask.exe" 1 TARGET.
  EXPECT_EQ(
      probe->TraceMessages(),
      (Lines{"", " Start", " CommandLine = 1 " + target, " --> Connecting to " + OnPort("127.0.0.1", listener.port()),
             " <-- Connected to " + OnPort("127.0.0.1", listener.port()), " --- Disconnected", " Return Value: 100"}));
}

TEST_F(WindowsProbe, RefusedTargetEndsWithinAboutASecond) {
  RefusingPort refusing;
  probe->EnableTrace();
  const ProcessResult result = probe->Run({"1", Target("127.0.0.1", refusing.port())});
  EXPECT_EQ(result.status, 0);
  // Up to the clock's next whole second, then half a second after the verdict.
  EXPECT_LE(result.elapsed, milliseconds(2500) + kWineStartUp);
  EXPECT_EQ(probe->TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + Target("127.0.0.1", refusing.port()),
                   " --> Connecting to " + OnPort("127.0.0.1", refusing.port()),
                   " --- Failed Connecting to " + OnPort("127.0.0.1", refusing.port()), " Return Value: 0"}));
}

TEST_F(WindowsProbe, SilentTargetRunsOutItsDeadlineIn25To26Seconds) {
  LoopbackListener silent(Behaviour::kSilent);
  probe->EnableTrace();
  const ProcessResult result = probe->Run({"1", Target("127.0.0.1", silent.port())});
  EXPECT_EQ(result.status, 0);
  // 25 to 26 seconds of waiting, then half a second after the verdict line.
  EXPECT_GE(result.elapsed, milliseconds(25'000));
  EXPECT_LE(result.elapsed, milliseconds(27'500) + kWineStartUp);
  EXPECT_EQ(probe->TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + Target("127.0.0.1", silent.port()),
                   " --> Connecting to " + OnPort("127.0.0.1", silent.port()), " Return Value: 0"}));
}

// The peer's reset races the completion of the connect, so the probe runs a
// few times. A connect that completes with ERROR_NETNAME_DELETED (64) is how
// the completion port tells of a connection the peer reset before the
// completion was taken (about half the runs against this peer under wine);
// it counts as reached. The reset then reads as an end of file in most runs
// (no error line) and as 10054 in the others.
TEST_F(WindowsProbe, PeerThatAcceptsAndResetsStillCountsAsReached) {
  LoopbackListener listener(Behaviour::kAcceptThenReset);
  const std::string target = Target("127.0.0.1", listener.port());
  const std::string on_port = OnPort("127.0.0.1", listener.port());
  const Lines seen_as_end{"",
                          " Start",
                          " CommandLine = 1 " + target,
                          " --> Connecting to " + on_port,
                          " <-- Connected to " + on_port,
                          " --- Disconnected",
                          " Return Value: 100"};
  Lines seen_as_reset = seen_as_end;
  seen_as_reset.insert(seen_as_reset.begin() + 5, "Error 10054: Connection reset by peer. (tcpClient_Error)");
  for (int run = 0; run < 6; ++run) {
    probe->EnableTrace();
    const ProcessResult result = probe->Run({"1", target});
    EXPECT_EQ(result.status, 100) << "run " << run;
    const Lines messages = probe->TraceMessages();
    EXPECT_TRUE(messages == seen_as_end || messages == seen_as_reset) << "run " << run << ":\n"
                                                                      << ::testing::PrintToString(messages);
  }
}

TEST_F(WindowsProbe, TenReachableTargetsTakeAboutTwoSeconds) {
  LoopbackListener listener;
  std::vector<std::string> arguments{"10"};
  for (int i = 0; i < 10; ++i) arguments.push_back(Target("127.0.0.1", listener.port()));
  const ProcessResult result = probe->Run(arguments);
  EXPECT_EQ(result.status, 100);
  // First poll, then 200 ms and a poll for each later target, 50 ms after
  // the final drop: the same bounds as for the Linux program.
  EXPECT_GE(result.elapsed, milliseconds(2050));
  EXPECT_LE(result.elapsed, milliseconds(4000));
  EXPECT_EQ(listener.accepted(), 10);
}

TEST_F(WindowsProbe, WithoutTheTraceFileNothingIsWritten) {
  LoopbackListener listener;
  const ProcessResult result = probe->Run({"1", Target("127.0.0.1", listener.port())});
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, "");
  std::vector<fs::path> files;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir.path())) files.push_back(entry.path());
  EXPECT_EQ(files, std::vector<fs::path>{probe->binary()});
}

TEST_F(WindowsProbe, HelpAndVersionGoToARedirectedOutputWithCrLf) {
  probe->EnableTrace();
  const ProcessResult help = probe->Run({"--help"});
  EXPECT_EQ(help.status, 0);
  EXPECT_EQ(help.out, CrLf(kUsage));
  EXPECT_EQ(help.err, "");
  const ProcessResult version = probe->Run({"--version"});
  EXPECT_EQ(version.status, 0);
  EXPECT_TRUE(version.out.starts_with("vornask ") && version.out.ends_with("\r\n") &&
              version.out.find('\n') == version.out.size() - 1)
      << version.out;
  EXPECT_EQ(version.err, "");
  EXPECT_EQ(ReadFile(probe->trace()), "");
}

struct InformationCase {
  const char* name;
  std::string command_line;
  std::string out;  // standard output, in full; "VERSION" for any one version line
  std::string err;  // standard error, in full
  friend void PrintTo(const InformationCase& c, std::ostream* out) { *out << c.name; }
};

class WindowsProbeInformation : public WindowsProbe, public ::testing::WithParamInterface<InformationCase> {};

TEST_P(WindowsProbeInformation, IsTheOptionAloneWithBlanksOrQuotesAroundIt) {
  const InformationCase& c = GetParam();
  probe->EnableTrace();
  const ProcessResult result = probe->RunWithCommandLine(c.command_line);
  EXPECT_EQ(result.status, 0);
  if (c.out == "VERSION") {
    EXPECT_TRUE(result.out.starts_with("vornask ") && result.out.ends_with("\r\n") &&
                result.out.find('\n') == result.out.size() - 1)
        << result.out;
  } else {
    EXPECT_EQ(result.out, c.out);
  }
  EXPECT_EQ(result.err, c.err);
  if (c.err.empty()) {
    EXPECT_EQ(ReadFile(probe->trace()), "");
  } else {
    EXPECT_EQ(probe->TraceMessages().back(), " Argument Error");
  }
}

INSTANTIATE_TEST_SUITE_P(
    Launched, WindowsProbeInformation,
    ::testing::Values(InformationCase{"Help", "vornask.exe --help", CrLf(kUsage), ""},
                      InformationCase{"HelpInQuotes", R"(vornask.exe "--help")", CrLf(kUsage), ""},
                      InformationCase{"HelpWithATrailingBlank", "vornask.exe --help ", CrLf(kUsage), ""},
                      InformationCase{"HelpWithATabBefore", "vornask.exe\t--help", CrLf(kUsage), ""},
                      InformationCase{"VersionInQuotesAndBlanks", R"(vornask.exe  "--version"  )", "VERSION", ""},
                      InformationCase{
                          "HelpAndMore", "vornask.exe --help x", "",
                          "vornask: argument error: COUNT \"--help\" is not a number; see vornask --help\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

struct ArgumentErrorCase {
  const char* name;
  std::vector<std::string> arguments;
  bool trace;
  std::string command_line;  // as wine writes it after the program name
  milliseconds wait;
  std::string err;  // standard error, in full
  friend void PrintTo(const ArgumentErrorCase& c, std::ostream* out) { *out << c.name; }
};

class WindowsProbeArgumentError : public WindowsProbe, public ::testing::WithParamInterface<ArgumentErrorCase> {};

TEST_P(WindowsProbeArgumentError, EndsWithStatusZeroAndOneCrLfLine) {
  const ArgumentErrorCase& c = GetParam();
  if (c.trace) probe->EnableTrace();
  const ProcessResult result = probe->Run(c.arguments);
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, c.err);
  EXPECT_GE(result.elapsed, c.wait);
  EXPECT_LE(result.elapsed, c.wait + milliseconds(1500) + kWineStartUp);
  if (c.trace) {
    EXPECT_EQ(probe->TraceMessages(), (Lines{"", " Start", " CommandLine = " + c.command_line, " Argument Error"}));
  } else {
    EXPECT_FALSE(fs::exists(probe->trace()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, WindowsProbeArgumentError,
    ::testing::Values(
        ArgumentErrorCase{"BadCountTraced",
                          {"-h"},
                          true,
                          "-h",
                          milliseconds(500),
                          "vornask: argument error: COUNT \"-h\" is not a number; see vornask --help\r\n"},
        ArgumentErrorCase{"BadCountUntraced",
                          {"-h"},
                          false,
                          "",
                          milliseconds(1000),
                          "vornask: argument error: COUNT \"-h\" is not a number; see vornask --help\r\n"},
        // wine quotes an argument that holds a blank ...
        ArgumentErrorCase{"BlankInsideAHost",
                          {"1", "my host:80x"},
                          true,
                          "1 \"my host:80x\"",
                          milliseconds(500),
                          "vornask: argument error: target 1 \"my host:80x\": port \"80x\" is not a number; "
                          "see vornask --help\r\n"},
        // ... and writes a quote inside one as \", whose quote the probe
        // reads as a grouping one, keeping the backslash.
        ArgumentErrorCase{"QuoteInsideAWord",
                          {"1", "a\"b:80x"},
                          true,
                          "1 a\\\"b:80x",
                          milliseconds(500),
                          "vornask: argument error: target 1 \"a\\b:80x\": port \"80x\" is not a number; "
                          "see vornask --help\r\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Exact command lines, given through the launcher -----------------------

// In a case's texts, {T} stands for the refusing target 127.0.0.1:P and {P}
// for its port.
std::string Filled(std::string text, std::uint16_t port) {
  for (const auto& [mark, value] : {std::pair<std::string, std::string>{"{T}", Target("127.0.0.1", port)},
                                    std::pair<std::string, std::string>{"{P}", std::to_string(port)}}) {
    for (std::size_t at; (at = text.find(mark)) != std::string::npos;) text.replace(at, mark.size(), value);
  }
  return text;
}

// The trace after the command line when {T} alone is tried.
const Lines kRefusedOnce{" --> Connecting to 127.0.0.1 on port {P}", " --- Failed Connecting to 127.0.0.1 on port {P}",
                         " Return Value: 0"};

struct CommandLineCase {
  const char* name;
  std::string command_line;
  std::string argument_text;  // what " CommandLine = " shows
  int status;
  Lines rest;       // the trace after the command line
  std::string err;  // standard error, in full
  friend void PrintTo(const CommandLineCase& c, std::ostream* out) { *out << c.name; }
};

class WindowsProbeCommandLine : public WindowsProbe, public ::testing::WithParamInterface<CommandLineCase> {};

TEST_P(WindowsProbeCommandLine, GivesTheTextAfterTheProgramNameAndItsBlanks) {
  const CommandLineCase& c = GetParam();
  RefusingPort refusing;
  probe->EnableTrace();
  const ProcessResult result = probe->RunWithCommandLine(Filled(c.command_line, refusing.port()));
  EXPECT_EQ(result.status, c.status);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, Filled(c.err, refusing.port()));
  Lines expected{"", " Start", " CommandLine = " + Filled(c.argument_text, refusing.port())};
  for (const std::string& line : c.rest) expected.push_back(Filled(line, refusing.port()));
  EXPECT_EQ(probe->TraceMessages(), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Launched, WindowsProbeCommandLine,
    ::testing::Values(
        CommandLineCase{"ProgramNameQuotedWithABlank", R"("C:\path with blank\vornask.exe" 1 {T})", "1 {T}", 0,
                        kRefusedOnce, ""},
        CommandLineCase{"ProgramNameNotQuoted", R"(C:\tools\vornask.exe 1 {T})", "1 {T}", 0, kRefusedOnce, ""},
        CommandLineCase{"SeveralBlanksAfterTheProgramName", "vornask.exe    1 {T}", "1 {T}", 0, kRefusedOnce, ""},
        CommandLineCase{"TextRightAfterTheClosingQuote", R"("C:\path with blank\vornask.exe"1 {T})", "1 {T}", 0,
                        kRefusedOnce, ""},
        CommandLineCase{"ProgramNameAlone", R"("C:\path with blank\vornask.exe")", "", 0, {}, ""},
        // Only blanks are skipped after the name: the tab opens the text, so
        // COUNT is empty (0, always reached, and said so) and "1" is a
        // target without a port.
        CommandLineCase{"TabAfterTheProgramName",
                        "vornask.exe\t1",
                        "\t1",
                        100,
                        {" --> Connecting to  on port 0", " --- Failed Connecting to  on port 0", " Return Value: 100"},
                        "vornask: warning: COUNT is empty and counts as 0, so any run with a target gives 100\r\n"},
        CommandLineCase{"EmptyCount",
                        R"(vornask.exe "" {T})",
                        R"("" {T})",
                        100,
                        {" --> Connecting to 127.0.0.1 on port {P}", " --- Failed Connecting to 127.0.0.1 on port {P}",
                         " Return Value: 100"},
                        "vornask: warning: COUNT is empty and counts as 0, so any run with a target gives 100\r\n"},
        // An unquoted name ends at the first blank, quote or not.
        CommandLineCase{"QuoteInsideAnUnquotedProgramName",
                        R"(C:\odd"dir name"\vornask.exe 1 {T})",
                        R"(name"\vornask.exe 1 {T})",
                        0,
                        {" Argument Error"},
                        "vornask: argument error: COUNT \"name\\vornask.exe 1 127.0.0.1:{P}\" is not a number; "
                        "see vornask --help\r\n"},
        CommandLineCase{"QuotesInsideWords", R"(vornask.exe "1" 127.0."0.1":{P})", R"("1" 127.0."0.1":{P})", 0,
                        kRefusedOnce, ""},
        CommandLineCase{"TabBetweenArguments", "vornask.exe 1\t{T}", "1\t{T}", 0, kRefusedOnce, ""},
        // Two separators in a row end the targets: the second {T} is not tried.
        CommandLineCase{"TwoBlanksBetweenTargets", "vornask.exe 1 {T}  {T}", "1 {T}  {T}", 0, kRefusedOnce, ""},
        CommandLineCase{"TrailingBlanks", "vornask.exe 1 {T}   ", "1 {T}   ", 0, kRefusedOnce, ""},
        CommandLineCase{"EmptyQuotedArgument", R"(vornask.exe 1 "" {T})", R"(1 "" {T})", 0, {}, ""}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vornask::testing
