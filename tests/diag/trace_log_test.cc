#include "diag/trace_log.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "support/temp_dir.h"
#include "support/virtual_env.h"

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;

int OpenDescriptorCount() {
  int count = 0;
  for ([[maybe_unused]] const auto& entry : fs::directory_iterator("/proc/self/fd")) ++count;
  return count;
}

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
  log.AppendDebugLine([] {
    return std::string(" CommandLine = 1 a:1\r\n2026-12-10 12:00:00 <-- Connected to a on port 1\n\x1b[2K");
  });
  EXPECT_EQ(ReadFile(file()),
            "2026-12-10 12:00:00 CommandLine = 1 a:1^M^J2026-12-10 12:00:00 <-- Connected to a on port 1^J^[[2K\r\n");
}

TEST_F(TraceLogTest, OnlyARegularFileSwitchesTracingOn) {
  EXPECT_FALSE(log.DebugFileExists());
  fs::create_directory(file());
  EXPECT_FALSE(log.DebugFileExists());
  fs::remove(file());
  WriteFile(dir / "elsewhere.txt", "");
  fs::create_symlink(dir / "elsewhere.txt", file());
  EXPECT_FALSE(log.DebugFileExists());
  fs::remove(file());
  ASSERT_EQ(mkfifo(file().c_str(), 0644), 0);
  EXPECT_FALSE(log.DebugFileExists());
  fs::remove(file());
  WriteFile(dir / "elsewhere.txt", "");
  fs::create_hard_link(dir / "elsewhere.txt", file());
  EXPECT_FALSE(log.DebugFileExists());
  fs::remove(file());
  WriteFile(file(), "");
  EXPECT_TRUE(log.DebugFileExists());
}

TEST_F(TraceLogTest, HardLinkPutInPlaceOfTheFileIsNeverWrittenThrough) {
  WriteFile(dir / "target.txt", "untouched");
  fs::create_hard_link(dir / "target.txt", file());
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
  EXPECT_EQ(ReadFile(dir / "target.txt"), "untouched");
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

TEST_F(TraceLogTest, ADirectoryRenamedAndReplacedDuringTheRunKeepsTheTrace) {
  WriteFile(file(), "");
  log.AppendDebugLine(" before");
  const fs::path moved = dir.path().string() + "-moved";
  TempDir other;
  WriteFile(other / "tcpdebug.txt", "");
  fs::rename(dir.path(), moved);
  fs::create_directory_symlink(other.path(), dir.path());
  log.AppendDebugLine(" after");
  const std::string moved_trace = ReadFile(moved / "tcpdebug.txt");
  fs::remove(dir.path());
  fs::rename(moved, dir.path());
  EXPECT_EQ(ReadFile(other / "tcpdebug.txt"), "");
  EXPECT_EQ(moved_trace, "2026-12-10 12:00:00 before\r\n2026-12-10 12:00:00 after\r\n");
}

TEST_F(TraceLogTest, FileDeletedDuringARunIsCreatedAgainByTheNextLine) {
  WriteFile(file(), "");
  log.AppendDebugLine(" first");
  fs::remove(file());
  log.AppendDebugLine(" second");
  EXPECT_EQ(ReadCrLfLines(file()), std::vector<std::string>{"2026-12-10 12:00:00 second"});
}

TEST_F(TraceLogTest, SymlinkPutInPlaceOfTheFileIsNeverWrittenThrough) {
  WriteFile(dir / "target.txt", "untouched");
  fs::create_symlink(dir / "target.txt", file());
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
  EXPECT_EQ(ReadFile(dir / "target.txt"), "untouched");
}

TEST_F(TraceLogTest, FifoPutInPlaceOfTheFileFailsTheLineInsteadOfBlocking) {
  ASSERT_EQ(mkfifo(file().c_str(), 0644), 0);
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
}

TEST_F(TraceLogTest, MessageIsComposedOnlyAfterTheFileOpened) {
  fs::remove_all(dir.path());
  bool composed = false;
  EXPECT_THROW(log.AppendDebugLine([&] {
    composed = true;
    return std::string(" x");
  }),
               std::system_error);
  EXPECT_FALSE(composed);
}

TEST_F(TraceLogTest, FileIsClosedWhenComposingTheLineFails) {
  WriteFile(file(), "");
  const int before = OpenDescriptorCount();
  EXPECT_THROW(log.AppendDebugLine([]() -> std::string { throw std::runtime_error("peer host unreadable"); }),
               std::runtime_error);
  EXPECT_EQ(OpenDescriptorCount(), before);
  EXPECT_EQ(ReadFile(file()), "");
  // The next line opens the file normally.
  log.AppendDebugLine(" after");
  EXPECT_EQ(ReadCrLfLines(file()).size(), 1u);
}

TEST_F(TraceLogTest, UnwritableFileFailsTheLine) {
  if (geteuid() == 0) {
    // Root ignores permission bits; a directory in the file's place fails for everyone.
    fs::create_directory(file());
  } else {
    WriteFile(file(), "");
    fs::permissions(file(), fs::perms::owner_read);
  }
  EXPECT_THROW(log.WriteTraceHeader(), std::system_error);
}


}  // namespace
}  // namespace vornask::testing
