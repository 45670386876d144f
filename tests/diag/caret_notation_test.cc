#include "diag/caret_notation.h"

#include <gtest/gtest.h>

#include <string>

namespace vornask::testing {
namespace {

struct CaretCase {
  std::string text;
  std::string shown;
};

class CaretNotationTest : public ::testing::TestWithParam<CaretCase> {};

TEST_P(CaretNotationTest, ShowsControlCharactersAndKeepsEverythingElse) {
  EXPECT_EQ(CaretNotation(GetParam().text), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(Bytes, CaretNotationTest,
                         ::testing::Values(CaretCase{"plain host:80", "plain host:80"}, CaretCase{"a\r\nb", "a^M^Jb"},
                                           CaretCase{std::string("\0\x01\x1f", 3), "^@^A^_"},
                                           CaretCase{"\x1b[31m", "^[[31m"}, CaretCase{"\x7f", "^?"},
                                           CaretCase{"tab\tstays", "tab\tstays"},
                                           // Bytes above 0x7f are not control characters here, whatever
                                           // encoding they belong to, and pass unchanged.
                                           CaretCase{"\x80\x9b\xff\xc3\xa9", "\x80\x9b\xff\xc3\xa9"},
                                           CaretCase{"^M", "^M"}, CaretCase{"", ""}));

}  // namespace
}  // namespace vornask::testing
