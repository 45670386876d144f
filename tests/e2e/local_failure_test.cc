// The built probe when this machine, not the target, is the problem: too
// few descriptors to try a target, a standard error nobody reads. The status
// may only say "not reached" when a line says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <ostream>
#include <sstream>
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

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

std::string NotTriedLine(const std::string& host, std::uint16_t port) {
  return "vornask: could not try " + OnPort(host, port) + ": Too many open files (error 24)";
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

struct SweepCase {
  const char* name;
  std::string host;
  bool looks_up;
  // What else a line may name as not tried: the addresses of the name, when
  // the lookup worked and only the sockets failed.
  std::vector<std::string> addresses;
  friend void PrintTo(const SweepCase& c, std::ostream* out) { *out << c.host; }
};

class LocalFailureSweep : public ::testing::TestWithParam<SweepCase> {};

TEST_P(LocalFailureSweep, TooFewDescriptorsNeverReadAsAnUnreachableTargetWithoutAWord) {
#ifdef VORNASK_SANITIZER_BUILD
  GTEST_SKIP() << "the sanitizers' own checks need descriptors and report nonsense without them";
#endif
  const SweepCase& sweep = GetParam();
  if (sweep.looks_up && !Sealed()) GTEST_SKIP() << kNeedsSealed;
  TempDir dir;
  ProbeCopy probe(dir.path());
  LoopbackListener listener;
  const std::string target = Target(sweep.host, listener.port());
  // The lowest limit at which the target itself was named as not tried.
  long target_not_tried_at = 0;
  // From a limit at which the client cannot even start, through one at
  // which it starts but has no socket (or no lookup) for the attempt, to
  // enough.
  for (long limit = 4; limit <= 16; ++limit) {
    SCOPED_TRACE("open files limit " + std::to_string(limit));
    const int accepted_before = listener.accepted();
    const ProcessResult result = probe.Run({"1", target}, seconds(30), ProcessLimits{.open_files = limit});
    EXPECT_EQ(result.out, "");
    if (result.status == 100) {
      EXPECT_EQ(result.err, "");
      EXPECT_EQ(listener.accepted(), accepted_before + 1);
      continue;
    }
    EXPECT_EQ(result.status, 0);
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
    const bool target_not_tried = StartsWith(result.err, NotTriedLine(sweep.host, listener.port()));
    const bool address_not_tried = std::any_of(
        sweep.addresses.begin(), sweep.addresses.end(),
        [&](const std::string& address) { return StartsWith(result.err, NotTriedLine(address, listener.port())); });
    EXPECT_TRUE(target_not_tried || address_not_tried || StartsWith(result.err, "vornask: run stopped: "))
        << result.err;
    if (target_not_tried && target_not_tried_at == 0) target_not_tried_at = limit;
  }
  ASSERT_NE(target_not_tried_at, 0) << "no limit made the probe say it could not try " << sweep.host;
  // Told once per target, however many addresses it has: two of them in a
  // row give two lines.
  const int accepted_before = listener.accepted();
  const ProcessResult twice =
      probe.Run({"1", target, target}, seconds(30), ProcessLimits{.open_files = target_not_tried_at});
  EXPECT_EQ(twice.status, 0);
  const std::vector<std::string> lines = LinesOf(twice.err);
  ASSERT_EQ(lines.size(), 2u) << twice.err;
  for (const std::string& line : lines) {
    EXPECT_TRUE(StartsWith(line, NotTriedLine(sweep.host, listener.port()))) << line;
  }
  EXPECT_EQ(listener.accepted(), accepted_before);
  // Plenty of descriptors: reached, and silent.
  const ProcessResult enough = probe.Run({"1", target}, seconds(30), ProcessLimits{.open_files = 64});
  EXPECT_EQ(enough.status, 100);
  EXPECT_EQ(enough.err, "");
}

INSTANTIATE_TEST_SUITE_P(Targets, LocalFailureSweep,
                         ::testing::Values(SweepCase{"Address", "127.0.0.1", false, {}},
                                           // A lookup the resolver could not do for want of
                                           // descriptors must not read as a name it does not know.
                                           SweepCase{"NameOfTwoAddresses", "localhost", true, {"::1", "127.0.0.1"}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(LocalFailureProbe, StandardErrorNobodyReadsDoesNotEndTheRunEarly) {
  TempDir dir;
  ProbeCopy probe(dir.path());
  // An argument error writes its line to standard error; with the reader
  // gone the write fails, and the run still waits its second and ends 0.
  const ProcessResult result = probe.Run({"-h"}, seconds(30), ProcessLimits{.stderr_unread = true});
  EXPECT_EQ(result.status, 0);
  EXPECT_GE(result.elapsed, milliseconds(1000));
}

}  // namespace
}  // namespace vornask::testing
