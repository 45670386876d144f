#include "diag/trace_log.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "support/temp_dir.h"
#include "support/virtual_env.h"

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;

class TraceLogTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir / "tcpdebug.txt"; }

  TempDir dir;
  VirtualEnv env{1'000'000};
  TraceLog log{dir.path().string(), env};
};

TEST_F(TraceLogTest, HeaderAndLinesHaveTheExactFormat) {
  WriteFile(file(), "earlier run\r\n");
  log.WriteTraceHeader();
  env.SleepMilliseconds(61'000);
  log.AppendDebugLine(" --> Connecting to host on port 80");
  log.AppendDebugLine([] { return std::string("Error 104: reset (tcpClient_Error)"); });
  EXPECT_EQ(ReadFile(file()),
            "earlier run\r\n"
            "\r\n"
            "2026-12-10 12:00:00 Start\r\n"
            "2026-12-10 12:01:01 --> Connecting to host on port 80\r\n"
            "2026-12-10 12:01:01Error 104: reset (tcpClient_Error)\r\n");
}

TEST_F(TraceLogTest, ValuesCannotEndALineEarly) {
  log.AppendDebugLine(
      [] { return std::string(" CommandLine = 1 a:1\r\n2026-12-10 12:00:00 <-- Connected to a on port 1\n\x1b[2K"); });
  EXPECT_EQ(ReadFile(file()),
            "2026-12-10 12:00:00 CommandLine = 1 a:1^M^J2026-12-10 12:00:00 <-- Connected to a on port 1^J^[[2K\r\n");
}

TEST_F(TraceLogTest, AfterAFailedWriteEveryLaterLineFailsTheSameWay) {
  fs::create_directory(file());
  std::string first;
  try {
    log.AppendDebugLine(" first");
  } catch (const std::system_error& failure) {
    first = failure.what();
  }
  ASSERT_NE(first, "");
  // The file is back and writable, but the trace already misses a line: a
  // later one must not follow as if nothing had happened.
  fs::remove(file());
  WriteFile(file(), "");
  for (int attempt = 0; attempt < 2; ++attempt) {
    try {
      log.AppendDebugLine(" later");
      ADD_FAILURE() << "a line after a failed one was written";
    } catch (const std::system_error& failure) {
      EXPECT_EQ(std::string(failure.what()), first);
    }
  }
  EXPECT_THROW(log.WriteTraceHeader(), std::system_error);
  EXPECT_EQ(ReadFile(file()), "");
}

TEST_F(TraceLogTest, FileDeletedDuringARunIsCreatedAgainByTheNextLine) {
  WriteFile(file(), "");
  log.AppendDebugLine(" first");
  fs::remove(file());
  log.AppendDebugLine(" second");
  EXPECT_EQ(ReadCrLfLines(file()), std::vector<std::string>{"2026-12-10 12:00:00 second"});
}

TEST_F(TraceLogTest, MessageIsComposedOnlyAfterTheFileOpened) {
  fs::create_directory(file());
  bool composed = false;
  EXPECT_THROW(log.AppendDebugLine([&] {
    composed = true;
    return std::string(" x");
  }),
               std::system_error);
  EXPECT_FALSE(composed);
}

}  // namespace
}  // namespace vornask::testing
