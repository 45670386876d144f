// The trace file's rules on POSIX systems, seen through the log: only a
// regular file with a single name counts, nothing is written through a link
// or a FIFO, the directory opened at the start keeps the trace, and every
// opening is closed again.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <stdexcept>
#include <system_error>

#include "diag/trace_log.h"
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

class TraceFilePosixTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir / "tcpdebug.txt"; }

  TempDir dir;
  VirtualEnv env{1'000'000};
  TraceLog log{dir.path().string(), env};
};

TEST_F(TraceFilePosixTest, OnlyARegularFileSwitchesTracingOn) {
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

TEST_F(TraceFilePosixTest, HardLinkPutInPlaceOfTheFileIsNeverWrittenThrough) {
  WriteFile(dir / "target.txt", "untouched");
  fs::create_hard_link(dir / "target.txt", file());
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
  EXPECT_EQ(ReadFile(dir / "target.txt"), "untouched");
}

TEST_F(TraceFilePosixTest, ADirectoryRenamedAndReplacedDuringTheRunKeepsTheTrace) {
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

TEST_F(TraceFilePosixTest, SymlinkPutInPlaceOfTheFileIsNeverWrittenThrough) {
  WriteFile(dir / "target.txt", "untouched");
  fs::create_symlink(dir / "target.txt", file());
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
  EXPECT_EQ(ReadFile(dir / "target.txt"), "untouched");
}

TEST_F(TraceFilePosixTest, FifoPutInPlaceOfTheFileFailsTheLineInsteadOfBlocking) {
  ASSERT_EQ(mkfifo(file().c_str(), 0644), 0);
  EXPECT_THROW(log.AppendDebugLine(" line"), std::system_error);
}

TEST_F(TraceFilePosixTest, FileIsClosedWhenComposingTheLineFails) {
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

TEST_F(TraceFilePosixTest, UnwritableFileFailsTheLine) {
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
