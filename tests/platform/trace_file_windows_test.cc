// The trace file's rules on Windows: only a regular file with a single name
// switches tracing on (hidden and system files included), nothing is written
// through a link, the file is looked up in the directory held since the
// start, a line that lands in part is cut off again, and a line goes out in
// the ANSI code page without look-alikes.
#include <windows.h>
// The file system controls, which windows.h leaves out when lean.
#include <winioctl.h>

#include <gtest/gtest.h>

#include <cstdint>
#include <filesystem>
#include <limits>
#include <ostream>
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

void Append(TraceDirectory& trace, const std::string& line) {
  TraceAppend append = trace.OpenForAppend();
  append.Write(line);
  append.Close();
}

TEST_F(TraceFileWindowsTest, OnlyAPlainFileWithOneNameSwitchesTracingOn) {
  EXPECT_FALSE(trace.TraceFileExists());
  fs::create_directory(file());
  EXPECT_FALSE(trace.TraceFileExists());
  fs::remove(file());
  WriteFile(file(), "");
  EXPECT_TRUE(trace.TraceFileExists());
  // The marks say how a file is listed, not whose it is.
  for (DWORD mark : {DWORD{FILE_ATTRIBUTE_HIDDEN}, DWORD{FILE_ATTRIBUTE_SYSTEM}}) {
    ASSERT_TRUE(SetFileAttributesW(file().c_str(), mark));
    EXPECT_TRUE(trace.TraceFileExists()) << "attribute " << mark;
  }
  ASSERT_TRUE(SetFileAttributesW(file().c_str(), FILE_ATTRIBUTE_NORMAL));
  EXPECT_TRUE(trace.TraceFileExists());
  fs::create_hard_link(file(), dir / "other.txt");
  EXPECT_FALSE(trace.TraceFileExists());
}

TEST_F(TraceFileWindowsTest, AppendsAtTheEndAndCreatesAFileThatIsGone) {
  WriteFile(file(), "earlier\r\n");
  Append(trace, "one\r\n");
  EXPECT_EQ(ReadFile(file()), "earlier\r\none\r\n");
  fs::remove(file());
  Append(trace, "two\r\n");
  EXPECT_EQ(ReadFile(file()), "two\r\n");
}

TEST_F(TraceFileWindowsTest, FileWithASecondNameIsNeverWrittenThrough) {
  WriteFile(dir / "victim.txt", "untouched");
  fs::create_hard_link(dir / "victim.txt", file());
  EXPECT_THROW(trace.OpenForAppend(), std::system_error);
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "untouched");
}

TEST_F(TraceFileWindowsTest, SymbolicLinkPutInTheFilesPlaceIsNeverWrittenThrough) {
  WriteFile(file(), "");
  ASSERT_TRUE(trace.TraceFileExists());
  WriteFile(dir / "victim.txt", "untouched");
  fs::remove(file());
  const fs::path victim = dir / "victim.txt";
  if (!CreateSymbolicLinkW(file().c_str(), victim.c_str(), SYMBOLIC_LINK_FLAG_ALLOW_UNPRIVILEGED_CREATE)) {
    GTEST_SKIP() << "no symbolic link could be made (error " << GetLastError()
                 << "; without developer mode it takes a privilege)";
  }
  const DWORD attributes = GetFileAttributesW(file().c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES || (attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    GTEST_SKIP() << "CreateSymbolicLinkW reported success but made no link (as wine does)";
  }
  EXPECT_FALSE(trace.TraceFileExists());
  EXPECT_THROW(trace.OpenForAppend(), std::system_error);
  EXPECT_EQ(ReadFile(dir / "victim.txt"), "untouched");
}

// Moving the held directory, or one above it, and putting a new directory
// of the old name in its place.
struct DirectoryMove {
  const char* name;
  fs::path from;  // these three under the test's directory
  fs::path to;
  fs::path moved_trace;  // where the trace file is once the move succeeded
};

std::ostream& operator<<(std::ostream& out, const DirectoryMove& move) { return out << move.name; }

class TraceDirectoryMoveTest : public ::testing::TestWithParam<DirectoryMove> {
 protected:
  TempDir dir;
};

TEST_P(TraceDirectoryMoveTest, RestOfTheTraceStaysInTheFileItWasSwitchedOnIn) {
  const fs::path held = dir / "top" / "held";
  fs::create_directories(held);
  WriteFile(held / kTraceFileName, "");
  bool moved = false;
  {
    TraceDirectory trace(held.string());
    ASSERT_TRUE(trace.TraceFileExists());
    Append(trace, "first\r\n");
    // Windows refuses to move a directory held open without sharing delete
    // access; when it does move, the name leads somewhere new.
    moved = MoveFileW((dir.path() / GetParam().from).c_str(), (dir.path() / GetParam().to).c_str());
    if (moved) fs::create_directories(held);
    EXPECT_TRUE(trace.TraceFileExists());
    Append(trace, "second\r\n");
  }
  EXPECT_EQ(ReadFile(moved ? dir.path() / GetParam().moved_trace : held / kTraceFileName), "first\r\nsecond\r\n")
      << (moved ? "moved" : "not moved");
  EXPECT_FALSE(moved && fs::exists(held / kTraceFileName)) << "trace written into the new directory";
}

INSTANTIATE_TEST_SUITE_P(Moves, TraceDirectoryMoveTest,
                         ::testing::Values(DirectoryMove{"TheDirectoryItself", "top/held", "top/moved",
                                                         fs::path("top/moved") / kTraceFileName},
                                           DirectoryMove{"TheDirectoryAboveIt", "top", "top-moved",
                                                         fs::path("top-moved/held") / kTraceFileName}),
                         [](const ::testing::TestParamInfo<DirectoryMove>& info) {
                           return std::string(info.param.name);
                         });

bool SetEnd(HANDLE file, std::int64_t size) {
  FILE_END_OF_FILE_INFO end{};
  end.EndOfFile.QuadPart = size;
  return SetFileInformationByHandle(file, FileEndOfFileInfo, &end, sizeof end);
}

// The largest end of file the file system takes for `file` (a sparse file,
// so that nothing is allocated for it).
std::int64_t LargestEnd(HANDLE file) {
  std::int64_t taken = 0;
  std::int64_t refused = std::numeric_limits<std::int64_t>::max();
  while (refused - taken > 1) {
    const std::int64_t middle = taken + (refused - taken) / 2;
    if (SetEnd(file, middle)) {
      taken = middle;
    } else {
      refused = middle;
    }
  }
  return taken;
}

std::int64_t Size(HANDLE file) {
  LARGE_INTEGER size{};
  return GetFileSizeEx(file, &size) ? size.QuadPart : -1;
}

// A trace file that has reached (nearly) the largest size its file system
// allows: the next line lands only in part, as on a full disk or at a quota.
TEST_F(TraceFileWindowsTest, LineThatLandsInPartIsCutOffAndTheSystemsCauseReported) {
  WriteFile(file(), "");
  const HANDLE sized =
      CreateFileW(file().c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                  nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(sized, INVALID_HANDLE_VALUE);
  DWORD returned = 0;
  if (!DeviceIoControl(sized, FSCTL_SET_SPARSE, nullptr, 0, nullptr, 0, &returned, nullptr)) {
    CloseHandle(sized);
    GTEST_SKIP() << "no sparse files here (error " << GetLastError() << "): growing one to the limit fills the disk";
  }
  const std::string line = "a line\r\n";
  const std::int64_t before = LargestEnd(sized) - 3;
  ASSERT_TRUE(SetEnd(sized, before));

  // What the system does with a line at this point, tried first with an
  // append handle of the test's own: part of it lands, the rest fails.
  const HANDLE tried = CreateFileW(file().c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                   OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(tried, INVALID_HANDLE_VALUE);
  DWORD landed = 0;
  const bool first = ::WriteFile(tried, line.data(), static_cast<DWORD>(line.size()), &landed, nullptr);
  DWORD rest = 0;
  const bool second =
      first && landed > 0 && landed < line.size() &&
      ::WriteFile(tried, line.data() + landed, static_cast<DWORD>(line.size() - landed), &rest, nullptr);
  const DWORD cause = GetLastError();
  CloseHandle(tried);
  const bool in_part = first && landed > 0 && landed < line.size() && !second;
  ASSERT_TRUE(SetEnd(sized, before));
  if (!in_part) {
    CloseHandle(sized);
    GTEST_SKIP() << "this file system takes all of a line or none at its size limit (" << landed << " of "
                 << line.size() << " bytes): nothing torn to cut";
  }

  TraceAppend append = trace.OpenForAppend();
  try {
    append.Write(line);
    ADD_FAILURE() << "the line was written whole";
  } catch (const std::system_error& error) {
    EXPECT_EQ(error.code().value(), static_cast<int>(cause)) << error.what();
  }
  EXPECT_EQ(Size(sized), before) << "a torn line is left at the end";
  CloseHandle(sized);
}

// A line in the ANSI code page, as it reaches the file.
struct AnsiCase {
  const char* utf8;
  const char* ansi;  // in code page 1252, or its ISO 8859-1 part
};

std::ostream& operator<<(std::ostream& out, const AnsiCase& text) { return out << '"' << text.utf8 << '"'; }

class TraceFileAnsiTest : public ::testing::TestWithParam<AnsiCase> {
 protected:
  TempDir dir;
  TraceDirectory trace{dir.path().string()};
};

TEST_P(TraceFileAnsiTest, TextIsWrittenInTheAnsiCodePageWithoutLookAlikes) {
  const UINT code_page = GetACP();
  if (code_page == CP_UTF8) GTEST_SKIP() << "the ANSI code page is UTF-8: the trace takes the text as it is";
  if (code_page != 1252 && code_page != 28591) GTEST_SKIP() << "code page " << code_page << " has no expectation here";
  WriteFile(dir / kTraceFileName, "");
  Append(trace, std::string(GetParam().utf8) + "\r\n");
  EXPECT_EQ(ReadFile(dir / kTraceFileName), std::string(GetParam().ansi) + "\r\n");
}

INSTANTIATE_TEST_SUITE_P(Texts, TraceFileAnsiTest,
                         ::testing::Values(AnsiCase{"plain text", "plain text"},
                                           AnsiCase{"h\xc3\xa9te", "h\xe9te"},  // the code page has e acute
                                           // Characters it has not become '?', never the look-alike
                                           // that a best fit gives (a plain quote, a plain A).
                                           AnsiCase{"\xef\xbc\x82quoted\xef\xbc\x82", "?quoted?"},  // U+FF02
                                           AnsiCase{"\xc4\x80", "?"}));                             // U+0100

}  // namespace
}  // namespace vornask::testing
