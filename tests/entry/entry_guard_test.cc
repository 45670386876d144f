#include "entry/entry_guard.h"

#include <gtest/gtest.h>

#include <exception>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

#include "platform/system_standard_error.h"
#include "support/captured_standard_error.h"

namespace vornask::testing {
namespace {

using ::testing::ExitedWithCode;

TEST(EntryGuard, GivesTheEntrysOwnStatus) {
  CapturedStandardError errors;
  EXPECT_EQ(GuardedEntry(errors, [] { return 100; }), 100);
  EXPECT_EQ(errors.lines, std::vector<std::string>{});
}

TEST(EntryGuardDeathTest, FailureThatTheEntryLetsOutEndsWithStatusZeroAndALine) {
  EXPECT_EXIT(GuardedEntry(SystemStandardError(), []() -> int { throw std::bad_alloc(); }), ExitedWithCode(0),
              "vornask: run stopped: std::bad_alloc");
  EXPECT_EXIT(GuardedEntry(SystemStandardError(), []() -> int { throw 7; }), ExitedWithCode(0),
              "vornask: run stopped: unknown failure");
}

// What the C++ runtime does when a throw finds no memory for its exception.
TEST(EntryGuardDeathTest, TerminateWithoutAnExceptionEndsWithStatusZeroAndSaysOutOfMemory) {
  EXPECT_EXIT(GuardedEntry(SystemStandardError(), []() -> int { std::terminate(); }), ExitedWithCode(0),
              "vornask: run stopped: out of memory");
}

void Throws() { throw std::runtime_error("let out of a noexcept function"); }
// Lets the exception out on purpose: that ends in std::terminate.
void LetsOut() noexcept { Throws(); }  // NOLINT(bugprone-exception-escape)

TEST(EntryGuardDeathTest, ExceptionThatEndsInTerminateIsNamed) {
  EXPECT_EXIT(GuardedEntry(SystemStandardError(),
                           []() -> int {
                             LetsOut();
                             return 100;
                           }),
              ExitedWithCode(0), "vornask: run stopped: let out of a noexcept function");
}

TEST(WriteStopLine, ShowsControlCharactersInCaretNotation) {
  CapturedStandardError errors;
  WriteStopLine(errors, "a\r\nb\x1b");
  EXPECT_EQ(errors.lines, std::vector<std::string>{"vornask: run stopped: a^M^Jb^["});
}

TEST(WriteStopLine, CutsALongTextBetweenCharacters) {
  CapturedStandardError errors;
  std::string what;
  for (int i = 0; i < 1000; ++i) what += "\xc3\xa9";  // two bytes each, over the line's room
  WriteStopLine(errors, "x" + what);
  ASSERT_EQ(errors.lines.size(), 1u);
  const std::string& line = errors.lines[0];
  EXPECT_LE(line.size(), 1024u);
  EXPECT_GT(line.size(), 1000u);
  // "vornask: run stopped: x" is 23 bytes; whole characters follow it.
  EXPECT_EQ((line.size() - 23) % 2, 0u) << line.size();
  EXPECT_TRUE(line.ends_with("\xc3\xa9"));
}

}  // namespace
}  // namespace vornask::testing
