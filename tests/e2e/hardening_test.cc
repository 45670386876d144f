// The built probe under hostile conditions: argument texts at and past their
// limits, bytes no terminal prints, a trace file swapped, filled or shared
// while runs write to it, and peers that misbehave. Every case must end with
// a clear status, never hang, and leave only whole lines in the trace.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <iterator>
#include <memory>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "support/loopback.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;
using std::chrono::milliseconds;
using std::chrono::seconds;
using Behaviour = LoopbackListener::Behaviour;
using Lines = std::vector<std::string>;

// A host name that cannot resolve and whose lookup never leaves the machine:
// a label over 63 bytes cannot be put into a DNS query, so the resolver gives
// up before sending one.
std::string Unresolvable(const std::string& first_label) {
  return first_label + "." + std::string(64, 'x') + ".invalid";
}

// The trace exactly as written, each timestamp replaced by '@'. A run opens
// with an empty line, so every stamp follows a CR LF; message bytes, a CR LF
// inside an argument included, pass through unchanged.
std::string Unstamped(const std::string& raw) {
  std::string text;
  std::size_t at = 0;
  for (;;) {
    const std::size_t line_end = raw.find("\r\n", at);
    if (line_end == std::string::npos) break;
    text.append(raw, at, line_end + 2 - at);
    at = line_end + 2;
    if (StartsWithTimestamp(std::string_view(raw).substr(at))) {
      text += '@';
      at += kTimestampBytes;
    }
  }
  return text + raw.substr(at);
}

// What Unstamped must give for a trace of these messages.
std::string Stamped(const Lines& messages) {
  std::string text;
  for (const std::string& message : messages) text += message.empty() ? "\r\n" : "@" + message + "\r\n";
  return text;
}

// Bytes one message takes in the file.
std::size_t LineBytes(const std::string& message) { return message.empty() ? 2 : kTimestampBytes + message.size() + 2; }

// The whole trace of a one-target run that reached an accepting listener.
Lines ReachedTrace(const std::string& command_line, std::uint16_t port) {
  return {"",
          " Start",
          " CommandLine = " + command_line,
          " --> Connecting to " + OnPort("127.0.0.1", port),
          " <-- Connected to " + OnPort("127.0.0.1", port),
          " --- Disconnected",
          " Return Value: 100"};
}

// As many bytes as the trace line of this message takes.
std::string StampedBytes(const std::string& message) { return std::string(LineBytes(message), '.'); }

// Polls until the file holds `text`.
bool WaitForText(const fs::path& file, const std::string& text, milliseconds bound) {
  const auto end = std::chrono::steady_clock::now() + bound;
  while (ReadFile(file).find(text) == std::string::npos) {
    if (std::chrono::steady_clock::now() > end) return false;
    std::this_thread::sleep_for(milliseconds(5));
  }
  return true;
}

// The names in a directory, sorted.
Lines Names(const fs::path& dir) {
  Lines names;
  for (const fs::directory_entry& entry : fs::directory_iterator(dir)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

// One line on standard error naming the trace file.
void ExpectStopLineNaming(const std::string& err, const fs::path& trace) {
  EXPECT_NE(err.find(trace.string()), std::string::npos) << err;
  EXPECT_EQ(std::count(err.begin(), err.end(), '\n'), 1) << err;
  EXPECT_TRUE(!err.empty() && err.back() == '\n') << err;
}

class HardeningProbe : public ::testing::Test {
 protected:
  TempDir dir;
  ProbeCopy probe{dir.path()};
};

// --- Argument text at its limits -------------------------------------------

// The target's port is written with six digits, so the target token always
// takes 16 bytes and the count token, padded with leading zeros, brings the
// whole text to the length under test.
constexpr std::size_t kTargetBytes = 16;
// Linux takes a single argument of up to 32 pages, its NUL included.
constexpr std::size_t kLongestArgument = 131071;

struct LengthCase {
  const char* name;
  std::size_t text_bytes;
  bool traced;
  friend void PrintTo(const LengthCase& c, std::ostream* out) { *out << c.name; }
};

class HardeningArgumentLength : public HardeningProbe, public ::testing::WithParamInterface<LengthCase> {};

TEST_P(HardeningArgumentLength, IsReadUpTo32767BytesAndRejectedBeyond) {
  const LengthCase& c = GetParam();
  LoopbackListener listener;
  if (c.traced) probe.EnableTrace();
  char port[8];
  std::snprintf(port, sizeof port, "%06u", static_cast<unsigned>(listener.port()));
  const std::string target = std::string("127.0.0.1:") + port;
  ASSERT_EQ(target.size(), kTargetBytes);
  const std::string count = std::string(c.text_bytes - kTargetBytes - 2, '0') + "1";
  const std::string text = count + " " + target;
  ASSERT_EQ(text.size(), c.text_bytes);

  const ProcessResult result = probe.Run({count, target}, seconds(30));
  EXPECT_EQ(result.out, "");
  if (c.text_bytes <= 32767) {
    EXPECT_EQ(result.err, "");
    EXPECT_EQ(result.status, 100);
    EXPECT_EQ(listener.accepted(), 1);
    if (c.traced) {
      EXPECT_EQ(Unstamped(ReadFile(probe.trace())), Stamped(ReachedTrace(text, listener.port())));
    }
    return;
  }
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.err, "vornask: argument error: the argument text is longer than 32767 bytes; see vornask --help\n");
  EXPECT_EQ(listener.accepted(), 0);
  // Traced, the error line is followed by half a second; untraced, the run
  // goes on as one with nothing to probe and waits a second.
  const milliseconds wait(c.traced ? 500 : 1000);
  EXPECT_GE(result.elapsed, wait);
  EXPECT_LE(result.elapsed, wait + milliseconds(2000) + kStartUpAllowance);
  if (c.traced) {
    EXPECT_EQ(Unstamped(ReadFile(probe.trace())), Stamped({"", " Start", " Argument Error"}));
  } else {
    EXPECT_FALSE(fs::exists(probe.trace()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    HardeningTexts, HardeningArgumentLength,
    ::testing::Values(LengthCase{"Of32767BytesTraced", 32767, true}, LengthCase{"Of32767BytesUntraced", 32767, false},
                      LengthCase{"Of32768BytesTraced", 32768, true}, LengthCase{"Of32768BytesUntraced", 32768, false},
                      LengthCase{"WithTheLongestSingleArgumentTraced", kLongestArgument + 1 + kTargetBytes, true},
                      LengthCase{"WithTheLongestSingleArgumentUntraced", kLongestArgument + 1 + kTargetBytes, false}),
    [](const auto& info) { return std::string(info.param.name); });

// --- An address space too small for the run --------------------------------

// The probe run with its address space limited to `kib` KiB, as `ulimit -v`
// sets it: the shell takes the limit and then becomes the probe.
ProcessResult RunInAddressSpace(const ProbeCopy& probe, long kib, const std::vector<std::string>& arguments) {
  std::vector<std::string> shell{"-c", "ulimit -v \"$0\" && exec \"$@\"", std::to_string(kib)};
  const std::vector<std::string> command = probe.Command(arguments);
  shell.insert(shell.end(), command.begin(), command.end());
  return RunProcess("/bin/sh", shell, seconds(30));
}

// Whether the dynamic loader gave up before the probe's own code ran (it
// could not map a library or set up the first thread): it ends with 127, a
// status the probe never gives.
bool NeverLoaded(const ProcessResult& result) { return result.status == 127; }

// Which limits leave the probe too little memory depends on the build, so
// the test finds them: from the smallest limit the probe loads in, up in
// steps of a page to the first that leaves room for the whole run. Memory
// runs out in between, first where the heap cannot even start (so no
// exception can be thrown), then where the argument text cannot be joined
// (a long argument makes the join need more than anything before it),
// then inside the run; every one of those runs must end with status 0 and
// one line, never by abort.
TEST_F(HardeningProbe, AddressSpaceTooSmallForTheRunEndsWithStatusZeroAndOneLineNeverAnAbort) {
  if (kSanitizerBuild) GTEST_SKIP() << "the sanitizers reserve more address space than any limit tried here";
  if (!ProbeEmulator().empty()) {
    GTEST_SKIP() << "under qemu-user the limit falls on the emulator, whose own libraries abort without memory";
  }
  LoopbackListener listener;
  const std::vector<std::string> arguments{std::string(30'000, '0') + "1", Target("127.0.0.1", listener.port())};

  long loaded = 1L << 20;  // KiB; the probe runs whole there
  ASSERT_EQ(RunInAddressSpace(probe, loaded, arguments).status, 100);
  for (long never = 0; loaded - never > 4;) {
    const long middle = (never + loaded) / 2;
    if (NeverLoaded(RunInAddressSpace(probe, middle, arguments))) {
      never = middle;
    } else {
      loaded = middle;
    }
  }

  int stopped = 0;
  for (long kib = loaded;; kib += 4) {
    ASSERT_LT(kib, loaded + 64L * 1024) << "no limit up to 64 MiB above the loader's left room for the run";
    const ProcessResult result = RunInAddressSpace(probe, kib, arguments);
    if (result.status == 100) {
      EXPECT_EQ(result.err, "") << kib << " KiB";
      break;
    }
    EXPECT_EQ(result.status, 0) << kib << " KiB: signal " << result.signal << ", standard error: " << result.err;
    EXPECT_TRUE(result.err.starts_with("vornask: ") && result.err.find('\n') == result.err.size() - 1)
        << kib << " KiB: " << result.err;
    if (result.err.starts_with("vornask: run stopped: ")) ++stopped;
    if (::testing::Test::HasFailure()) break;
  }
  EXPECT_GT(stopped, 0) << "no limit between loading and the whole run stopped it: the test proved nothing";
}

// --- Bytes that are neither printable nor UTF-8 ----------------------------

// Control characters (CR LF among them) and byte sequences that are not
// UTF-8: a lone continuation byte, 0xff/0xfe, an overlong '/', a surrogate
// and a truncated sequence. NUL cannot be part of an argument.
const std::string kOddBytes =
    "\x01\x1b[31m\x7f\r\n\t"
    "\xff\xfe\x80"
    "\xc0\xaf"
    "\xed\xa0\x80"
    "\xe2\x82";
// The same bytes as the trace and standard error show them: control
// characters but tab in caret notation, everything else unchanged.
const std::string kOddBytesShown =
    "^A^[[31m^?^M^J\t"
    "\xff\xfe\x80"
    "\xc0\xaf"
    "\xed\xa0\x80"
    "\xe2\x82";

struct OddBytesCase {
  const char* name;
  std::vector<std::string> arguments;  // the refused port's number replaces "PORT"
  std::string command_line;            // as traced
  Lines after_command_line;
  std::string err;
  friend void PrintTo(const OddBytesCase& c, std::ostream* out) { *out << c.name; }
};

class HardeningOddBytes : public HardeningProbe, public ::testing::WithParamInterface<OddBytesCase> {};

TEST_P(HardeningOddBytes, AreTracedVisiblyAndTheRunEndsWithStatusZero) {
  OddBytesCase c = GetParam();
  RefusingPort refusing;
  const std::string port = std::to_string(refusing.port());
  auto with_port = [&](std::string text) {
    for (std::size_t at; (at = text.find("PORT")) != std::string::npos;) text.replace(at, 4, port);
    return text;
  };
  for (std::string& argument : c.arguments) argument = with_port(argument);
  Lines expected{"", " Start", " CommandLine = " + with_port(c.command_line)};
  for (const std::string& message : c.after_command_line) expected.push_back(with_port(message));
  probe.EnableTrace();

  const ProcessResult result = probe.Run(c.arguments, seconds(30));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  EXPECT_EQ(result.err, with_port(c.err));
  EXPECT_LE(result.elapsed, milliseconds(5000) + kStartUpAllowance);
  EXPECT_EQ(Unstamped(ReadFile(probe.trace())), Stamped(expected));
}

INSTANTIATE_TEST_SUITE_P(
    HardeningArguments, HardeningOddBytes,
    ::testing::Values(OddBytesCase{"InAHost",
                                   {"1", Unresolvable(kOddBytes) + ":PORT"},
                                   "1 \"" + Unresolvable(kOddBytesShown) + ":PORT\"",
                                   {" --> Connecting to " + Unresolvable(kOddBytesShown) + " on port PORT",
                                    " --- Failed Connecting to " + Unresolvable(kOddBytesShown) + " on port PORT",
                                    " Return Value: 0"},
                                   ""},
                      OddBytesCase{"InAPort",
                                   {"1", "127.0.0.1:PORT" + kOddBytes},
                                   "1 \"127.0.0.1:PORT" + kOddBytesShown + "\"",
                                   {" Argument Error"},
                                   "vornask: argument error: target 1 \"127.0.0.1:PORT" + kOddBytesShown +
                                       "\": port \"PORT" + kOddBytesShown + "\" is not a number; see vornask --help\n"},
                      OddBytesCase{"InTheCount",
                                   {kOddBytes, "127.0.0.1:PORT"},
                                   "\"" + kOddBytesShown + "\" 127.0.0.1:PORT",
                                   {" Argument Error"},
                                   "vornask: argument error: COUNT \"" + kOddBytesShown +
                                       "\" is not a number; see vornask --help\n"}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Something other than a regular file where the trace should be ---------

enum class Occupant { kLinkToFile, kHardLinkToFile, kDanglingLink, kDirectory, kFifo, kFifoWithReader };

// What stands in the trace file's place, and the proof afterwards that
// nothing was written through it.
class TraceOccupant {
 public:
  TraceOccupant(Occupant kind, fs::path trace, fs::path elsewhere)
      : kind_(kind), trace_(std::move(trace)), elsewhere_(std::move(elsewhere)), victim_(elsewhere_ / kVictim) {}

  // The trace path must be free.
  void Place() {
    switch (kind_) {
      case Occupant::kLinkToFile:
        WriteFile(victim_, kVictimText);
        fs::create_symlink(victim_, trace_);
        break;
      case Occupant::kHardLinkToFile:
        WriteFile(victim_, kVictimText);
        fs::create_hard_link(victim_, trace_);
        break;
      case Occupant::kDanglingLink:
        fs::create_symlink(victim_, trace_);
        break;
      case Occupant::kDirectory:
        fs::create_directory(trace_);
        break;
      case Occupant::kFifo:
      case Occupant::kFifoWithReader:
        if (::mkfifo(trace_.c_str(), 0644) != 0) throw std::runtime_error("mkfifo failed");
        if (kind_ == Occupant::kFifoWithReader) {
          reader_ = UniqueFd(::open(trace_.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
          if (reader_.get() < 0) throw std::runtime_error("cannot open the FIFO for reading");
        }
        break;
    }
  }

  void ExpectNothingWritten() const {
    const bool victim = kind_ == Occupant::kLinkToFile || kind_ == Occupant::kHardLinkToFile;
    EXPECT_EQ(Names(elsewhere_), victim ? Lines{kVictim} : Lines{});
    const fs::file_status status = fs::symlink_status(trace_);
    switch (kind_) {
      case Occupant::kLinkToFile:
        EXPECT_TRUE(fs::is_symlink(status));
        EXPECT_EQ(ReadFile(victim_), kVictimText);
        break;
      case Occupant::kHardLinkToFile:
        EXPECT_TRUE(fs::is_regular_file(status));
        EXPECT_EQ(fs::hard_link_count(victim_), 2u);
        EXPECT_EQ(ReadFile(victim_), kVictimText);
        break;
      case Occupant::kDanglingLink:
        EXPECT_TRUE(fs::is_symlink(status));
        break;
      case Occupant::kDirectory:
        EXPECT_TRUE(fs::is_directory(status));
        EXPECT_TRUE(fs::is_empty(trace_));
        break;
      case Occupant::kFifo:
      case Occupant::kFifoWithReader:
        EXPECT_TRUE(fs::is_fifo(status));
        if (kind_ == Occupant::kFifoWithReader) {
          char got[256];
          const ssize_t n = ::read(static_cast<int>(reader_.get()), got, sizeof got);
          EXPECT_LE(n, 0) << "the FIFO's reader got: " << std::string(got, n > 0 ? static_cast<std::size_t>(n) : 0);
        }
        break;
    }
  }

 private:
  static constexpr const char* kVictim = "someone-elses.txt";
  static constexpr const char* kVictimText = "not the probe's to write\n";
  Occupant kind_;
  fs::path trace_;
  fs::path elsewhere_;
  fs::path victim_;
  UniqueFd reader_;
};

struct OccupantCase {
  const char* name;
  Occupant kind;
  friend void PrintTo(const OccupantCase& c, std::ostream* out) { *out << c.name; }
};

const auto kOccupants = ::testing::Values(
    OccupantCase{"LinkToAFile", Occupant::kLinkToFile}, OccupantCase{"HardLinkToAFile", Occupant::kHardLinkToFile},
    OccupantCase{"DanglingLink", Occupant::kDanglingLink}, OccupantCase{"Directory", Occupant::kDirectory},
    OccupantCase{"FifoWithoutReader", Occupant::kFifo}, OccupantCase{"FifoWithReader", Occupant::kFifoWithReader});

class HardeningTraceOccupied : public HardeningProbe, public ::testing::WithParamInterface<OccupantCase> {
 protected:
  TempDir elsewhere;
  TraceOccupant occupant{GetParam().kind, probe.trace(), elsewhere.path()};
};

TEST_P(HardeningTraceOccupied, BeforeTheRunLeavesTracingOffAndTheRunNormal) {
  LoopbackListener listener;
  occupant.Place();
  const ProcessResult result = probe.Run({"1", Target("127.0.0.1", listener.port())}, seconds(30));
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out + result.err, "");
  occupant.ExpectNothingWritten();
  EXPECT_EQ(Names(dir.path()), (Lines{"tcpdebug.txt", "vornask"}));
}

TEST_P(HardeningTraceOccupied, DuringTheRunStopsItWithStatusZeroAndWritesNothingThrough) {
  // The run waits on a silent listener; closing that listener turns the
  // probe's next SYN into a refusal, whose trace line is then the first one
  // written after the swap.
  std::optional<LoopbackListener> silent(std::in_place, Behaviour::kSilent);
  const std::string target = Target("127.0.0.1", silent->port());
  probe.EnableTrace();
  StartedProcess run = probe.Start({"1", target});
  const std::string connecting = " --> Connecting to " + OnPort("127.0.0.1", silent->port());
  ASSERT_TRUE(WaitForText(probe.trace(), connecting + "\r\n", milliseconds(10'000)));

  const fs::path earlier = dir / "earlier.txt";
  fs::rename(probe.trace(), earlier);
  occupant.Place();
  silent.reset();

  const ProcessResult result = run.Wait(seconds(30));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  ExpectStopLineNaming(result.err, probe.trace());
  occupant.ExpectNothingWritten();
  EXPECT_EQ(Names(dir.path()), (Lines{"earlier.txt", "tcpdebug.txt", "vornask"}));
  EXPECT_EQ(Unstamped(ReadFile(earlier)), Stamped({"", " Start", " CommandLine = 1 " + target, connecting}));
}

INSTANTIATE_TEST_SUITE_P(HardeningOccupants, HardeningTraceOccupied, kOccupants,
                         [](const auto& info) { return std::string(info.param.name); });

TEST(HardeningTraceDirectory, RenamedAndReplacedByALinkDuringTheRunKeepsTheTraceWhereItWasSwitchedOn) {
  TempDir base;
  const fs::path bin = base / "bin", moved = base / "moved", other = base / "other";
  fs::create_directory(bin);
  fs::create_directory(other);
  WriteFile(other / "tcpdebug.txt", "");
  ProbeCopy probe(bin);
  probe.EnableTrace();
  std::optional<LoopbackListener> silent(std::in_place, Behaviour::kSilent);
  const std::uint16_t port = silent->port();
  const std::string target = Target("127.0.0.1", port);
  StartedProcess run = probe.Start({"1", target});
  const std::string connecting = " --> Connecting to " + OnPort("127.0.0.1", port);
  ASSERT_TRUE(WaitForText(probe.trace(), connecting + "\r\n", milliseconds(10'000)));

  fs::rename(bin, moved);
  fs::create_directory_symlink(other, bin);
  // The probe's next SYN is refused, and its line is the first after the swap.
  silent.reset();

  const ProcessResult result = run.Wait(seconds(30));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(ReadFile(other / "tcpdebug.txt"), "");
  EXPECT_EQ(ProbeCopy::TraceMessagesOf(moved / "tcpdebug.txt"),
            (Lines{"", " Start", " CommandLine = 1 " + target, connecting,
                   " --- Failed Connecting to " + OnPort("127.0.0.1", port), " Return Value: 0"}));
}

// --- A trace that fills up mid-run -----------------------------------------

struct FullCase {
  const char* name;
  std::size_t whole_lines;  // lines of the run's trace that fit
  std::string spare;        // room left after them: a line of this many bytes would fit
  int accepted;             // connections the listener saw before the stop
  friend void PrintTo(const FullCase& c, std::ostream* out) { *out << c.name; }
};

class HardeningTraceFull : public HardeningProbe, public ::testing::WithParamInterface<FullCase> {};

TEST_P(HardeningTraceFull, StopsTheRunWithStatusZeroAndKeepsOnlyWholeLines) {
  const FullCase& c = GetParam();
  LoopbackListener listener;
  probe.EnableTrace();
  const std::string target = Target("127.0.0.1", listener.port());
  const Lines full = ReachedTrace("1 " + target, listener.port());
  const Lines kept(full.begin(), full.begin() + static_cast<std::ptrdiff_t>(c.whole_lines));
  std::size_t limit = c.spare.size();
  for (const std::string& message : kept) limit += LineBytes(message);

  const ProcessResult result =
      probe.Run({"1", target}, seconds(30), ProcessLimits{.file_size_bytes = static_cast<long>(limit)});
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out, "");
  ExpectStopLineNaming(result.err, probe.trace());
  // The cause is the size limit itself, not some other "full".
  EXPECT_NE(result.err.find("File too large"), std::string::npos) << result.err;
  EXPECT_EQ(listener.accepted(), c.accepted);
  EXPECT_EQ(Unstamped(ReadFile(probe.trace())), Stamped(kept));
}

INSTANTIATE_TEST_SUITE_P(HardeningLimits, HardeningTraceFull,
                         ::testing::Values(FullCase{"RightAfterTheHeader", 2, "", 0},
                                           // Room for the argument handler's shorter line: it must not
                                           // follow the command line that failed.
                                           FullCase{"WithRoomForArgumentErrorOnly", 2, StampedBytes(" Argument Error"),
                                                    0},
                                           FullCase{"RightAfterTheCommandLine", 3, "", 0},
                                           FullCase{"InsideTheConnectingLine", 3, std::string(12, '.'), 0},
                                           FullCase{"InsideTheConnectedLine", 4, std::string(12, '.'), 1},
                                           // Room for the completion handler's host-only line.
                                           FullCase{"WithRoomForTheHostOnlyLineOnly", 4,
                                                    StampedBytes(" --- Failed Connecting to 127.0.0.1"), 1}),
                         [](const auto& info) { return std::string(info.param.name); });

// --- Many runs sharing one trace -------------------------------------------

TEST(HardeningSharedTrace, FortyRunsAtOnceLeaveEveryLineWholeAndEachRunInOrder) {
  TempDir dir;
  ProbeCopy probe(dir.path());
  probe.EnableTrace();
  // Each run gets a port of its own, so its lines that name one can be told
  // apart; every other run is refused.
  constexpr int kRuns = 40;
  std::vector<std::unique_ptr<LoopbackListener>> listeners;
  std::vector<std::unique_ptr<RefusingPort>> refusing;
  struct Expected {
    bool reached;
    Lines own;  // the lines that name this run's port, in order
  };
  std::vector<Expected> expected;
  Lines every_line;
  for (int i = 0; i < kRuns; ++i) {
    const bool reached = i % 2 == 0;
    std::uint16_t port;
    if (reached) {
      port = listeners.emplace_back(std::make_unique<LoopbackListener>())->port();
    } else {
      port = refusing.emplace_back(std::make_unique<RefusingPort>())->port();
    }
    const std::string command_line = " CommandLine = 1 " + Target("127.0.0.1", port);
    const std::string connecting = " --> Connecting to " + OnPort("127.0.0.1", port);
    const std::string outcome = reached ? " <-- Connected to " + OnPort("127.0.0.1", port)
                                        : " --- Failed Connecting to " + OnPort("127.0.0.1", port);
    expected.push_back({reached, {command_line, connecting, outcome}});
    for (const std::string& line : {std::string(), std::string(" Start"), command_line, connecting, outcome}) {
      every_line.push_back(line);
    }
    if (reached) every_line.push_back(" --- Disconnected");
    every_line.push_back(reached ? " Return Value: 100" : " Return Value: 0");
  }

  std::vector<StartedProcess> runs;
  runs.reserve(kRuns);
  for (const Expected& run : expected) {
    runs.push_back(probe.Start({"1", run.own[0].substr(std::string_view(" CommandLine = 1 ").size())}));
  }
  for (int i = 0; i < kRuns; ++i) {
    const ProcessResult result = runs[static_cast<std::size_t>(i)].Wait(seconds(120));
    EXPECT_EQ(result.status, expected[static_cast<std::size_t>(i)].reached ? 100 : 0) << "run " << i;
    EXPECT_EQ(result.out + result.err, "") << "run " << i;
  }

  const Lines messages = probe.TraceMessages();
  // The empty line and " Start" leave in one write: nothing comes between.
  for (std::size_t i = 0; i < messages.size(); ++i) {
    if (messages[i].empty()) {
      EXPECT_TRUE(i + 1 < messages.size() && messages[i + 1] == " Start") << "line " << i;
    }
  }
  Lines sorted_messages = messages, sorted_expected = every_line;
  std::sort(sorted_messages.begin(), sorted_messages.end());
  std::sort(sorted_expected.begin(), sorted_expected.end());
  EXPECT_EQ(sorted_messages, sorted_expected);
  for (const Expected& run : expected) {
    Lines own;
    std::copy_if(messages.begin(), messages.end(), std::back_inserter(own), [&](const std::string& message) {
      return std::find(run.own.begin(), run.own.end(), message) != run.own.end();
    });
    EXPECT_EQ(own, run.own);
  }
}

// --- Peers that misbehave ----------------------------------------------------

TEST_F(HardeningProbe, PeerThatAcceptsAndResetsCountsAsReached) {
  LoopbackListener listener(Behaviour::kAcceptThenReset);
  probe.EnableTrace();
  const std::string target = Target("127.0.0.1", listener.port());
  const ProcessResult result = probe.Run({"1", target}, seconds(30));
  EXPECT_EQ(result.status, 100);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_EQ(listener.accepted(), 1);
  // Whichever comes first, the peer's reset or the probe's own drop, one
  // disconnection closes the link before the verdict; a reset that comes
  // first is also seen as an error.
  Lines dropped_first = ReachedTrace("1 " + target, listener.port());
  Lines reset_first = dropped_first;
  reset_first.insert(reset_first.end() - 2, "Error 104: Connection reset by peer (tcpClient_Error)");
  const Lines messages = probe.TraceMessages();
  EXPECT_TRUE(messages == reset_first || messages == dropped_first) << ::testing::PrintToString(messages);
}

TEST_F(HardeningProbe, NameThatDoesNotResolveFailsWithinAboutASecond) {
  RefusingPort refusing;
  probe.EnableTrace();
  const std::string host = Unresolvable("no-such-host");
  const ProcessResult result = probe.Run({"1", Target(host, refusing.port())}, seconds(30));
  EXPECT_EQ(result.status, 0);
  EXPECT_EQ(result.out + result.err, "");
  // The failure ends the wait at the next whole second of the clock, then
  // the verdict line is followed by half a second.
  EXPECT_LE(result.elapsed, milliseconds(3000) + kStartUpAllowance);
  EXPECT_EQ(Unstamped(ReadFile(probe.trace())),
            Stamped({"", " Start", " CommandLine = 1 " + Target(host, refusing.port()),
                     " --> Connecting to " + OnPort(host, refusing.port()),
                     " --- Failed Connecting to " + OnPort(host, refusing.port()), " Return Value: 0"}));
}

}  // namespace
}  // namespace vornask::testing
