// The built probe when this machine, not the target, is the problem: too
// few descriptors to try a target, a standard error nobody reads. The status
// may only say "not reached" when a line says why.
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <string>

#include "support/loopback.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace vornask::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;

bool StartsWith(const std::string& text, const std::string& prefix) { return text.rfind(prefix, 0) == 0; }

TEST(LocalFailureProbe, TooFewDescriptorsNeverReadAsAnUnreachableTargetWithoutAWord) {
#ifdef VORNASK_SANITIZER_BUILD
  GTEST_SKIP() << "the sanitizers' own checks need descriptors and report nonsense without them";
#endif
  TempDir dir;
  ProbeCopy probe(dir.path());
  LoopbackListener listener;
  const std::string target = Target("127.0.0.1", listener.port());
  bool told_target_not_tried = false;
  // From a limit at which the client cannot even start, through one at
  // which it starts but has no socket for the attempt, to enough.
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
    const bool not_tried = StartsWith(result.err, "vornask: could not try 127.0.0.1 on port " +
                                                      std::to_string(listener.port()) + ": Too many open files (error 24)");
    EXPECT_TRUE(not_tried || StartsWith(result.err, "vornask: run stopped: ")) << result.err;
    told_target_not_tried = told_target_not_tried || not_tried;
  }
  EXPECT_TRUE(told_target_not_tried);
  // Plenty of descriptors: reached, and silent.
  const ProcessResult enough = probe.Run({"1", target}, seconds(30), ProcessLimits{.open_files = 64});
  EXPECT_EQ(enough.status, 100);
  EXPECT_EQ(enough.err, "");
}

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
