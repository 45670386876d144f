// The trace file's rules on Windows: only a regular file with a single name
// that the system does not mark hidden or system switches tracing on, and a
// line goes out in the ANSI code page.
#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <string>
#include <system_error>

#include "platform/trace_file.h"
#include "support/temp_dir.h"

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;

class TraceFileWindowsTest : public ::testing::Test {
 protected:
  fs::path file() const { return dir / kTraceFileName; }

  TempDir dir;
  TraceDirectory trace{dir.path().string()};
};

TEST_F(TraceFileWindowsTest, OnlyAPlainFileWithOneNameSwitchesTracingOn) {
  EXPECT_FALSE(trace.TraceFileExists());
  fs::create_directory(file());
  EXPECT_FALSE(trace.TraceFileExists());
  fs::remove(file());
  WriteFile(file(), "");
  EXPECT_TRUE(trace.TraceFileExists());
  for (DWORD mark : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
    ASSERT_TRUE(SetFileAttributesW(file().c_str(), mark));
    EXPECT_FALSE(trace.TraceFileExists()) << "attribute " << mark;
  }
  ASSERT_TRUE(SetFileAttributesW(file().c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(trace.TraceFileExists());
  fs::create_hard_link(file(), dir / "other.txt");
  EXPECT_FALSE(trace.TraceFileExists());
}

TEST_F(TraceFileWindowsTest, AppendsAtTheEndAndCreatesAFileThatIsGone) {
  WriteFile(file(), "earlier\r\n");
  {
    TraceAppend append = trace.OpenForAppend();
    append.Write("one\r\n");
    append.Close();
  }
  fs::remove(file());
  TraceAppend append = trace.OpenForAppend();
  append.Write("two\r\n");
  append.Close();
  EXPECT_EQ(ReadFile(file()), "two\r\n");
}

TEST_F(TraceFileWindowsTest, FileWithASecondNameIsNeverWrittenThrough) {
  WriteFile(dir / "victim.txt", "untouched");
  fs::create_hard_link(dir / "victim.txt", file());
  EXPECT_THROW(trace.OpenForAppend(), std::system_error);
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "untouched");
}

TEST_F(TraceFileWindowsTest, TextIsWrittenInTheAnsiCodePage) {
  WriteFile(file(), "");
  TraceAppend append = trace.OpenForAppend();
  append.Write("h\xc3\xa9te\r\n");  // "héte" in UTF-8
  append.Close();
  const char e_acute = GetACP() == CP_UTF8 ? '\0' : static_cast<char>(0xe9);
  if (GetACP() == 1252 || GetACP() == 28591) {
    EXPECT_EQ(ReadFile(file()), std::string("h") + e_acute + "te\r\n");
  } else if (GetACP() == CP_UTF8) {
    EXPECT_EQ(ReadFile(file()), "h\xc3\xa9te\r\n");
  } else {
    GTEST_SKIP() << "code page " << GetACP() << " has no test expectation";
  }
}

}  // namespace
}  // namespace vornask::testing
