#include "platform/argument_text.h"

#include <gtest/gtest.h>

#include <string>

namespace vornask::testing {
namespace {

struct CommandLineCase {
  const wchar_t* command_line;
  std::string text;
};

class ArgumentTextFromCommandLineTest : public ::testing::TestWithParam<CommandLineCase> {};

TEST_P(ArgumentTextFromCommandLineTest, IsTheTextAfterTheProgramNameAndItsBlanksExactly) {
  EXPECT_EQ(ArgumentTextFromCommandLine(GetParam().command_line), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(CommandLines, ArgumentTextFromCommandLineTest,
                         ::testing::Values(CommandLineCase{L"vornask.exe 1 a:80", "1 a:80"},
                                           CommandLineCase{L"vornask.exe", ""},
                                           CommandLineCase{L"vornask.exe   1  a:80  ", "1  a:80  "},
                                           // The name ends at the closing quote, blanks inside it included.
                                           CommandLineCase{L"\"C:\\Program Files\\vornask.exe\" 1 a:80", "1 a:80"},
                                           CommandLineCase{L"\"C:\\x\\vornask.exe\"1 a:80", "1 a:80"},
                                           // Unquoted, it ends at the first blank or tab; only blanks follow it.
                                           CommandLineCase{L"vornask.exe\t1 a:80", "\t1 a:80"},
                                           CommandLineCase{L"vornask.exe 1\t\"my host:80\" \"\" b\"c\":2",
                                                           "1\t\"my host:80\" \"\" b\"c\":2"},
                                           CommandLineCase{L"\"unclosed name 1 a:80", ""},
                                           // Text outside ASCII arrives as UTF-8.
                                           CommandLineCase{L"vornask.exe 1 h\u00e9te:80", "1 h\xc3\xa9te:80"}));

TEST(ArgumentTextLength, CountsUtf16CodeUnitsAsTheSystemDoes) {
  EXPECT_EQ(ArgumentTextLength("1 a:80"), 6u);
  EXPECT_EQ(ArgumentTextLength("\xc3\xa9"), 1u);          // two bytes, one unit
  EXPECT_EQ(ArgumentTextLength("\xf0\x9f\x98\x80"), 2u);  // four bytes, a surrogate pair
}

}  // namespace
}  // namespace vornask::testing
