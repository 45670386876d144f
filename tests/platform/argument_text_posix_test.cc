#include "platform/argument_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vornask::testing {
namespace {

struct JoinCase {
  std::vector<const char*> arguments;
  std::string text;
};

class JoinArgumentsTest : public ::testing::TestWithParam<JoinCase> {};

TEST_P(JoinArgumentsTest, QuotesOnlyWhatWouldOtherwiseSplit) {
  std::vector<const char*> argv{"vornask"};
  argv.insert(argv.end(), GetParam().arguments.begin(), GetParam().arguments.end());
  EXPECT_EQ(JoinArguments(static_cast<int>(argv.size()), argv.data()), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(Arguments, JoinArgumentsTest,
                         ::testing::Values(JoinCase{{}, ""}, JoinCase{{"1", "a:80"}, "1 a:80"},
                                           JoinCase{{"1", "my host:80"}, "1 \"my host:80\""},
                                           JoinCase{{"1", "", "b:2"}, "1 \"\" b:2"},
                                           JoinCase{{"1", "t\tab:2"}, "1 \"t\tab:2\""},
                                           JoinCase{{"1", "a\"b:2", "\xff\xfe:3"}, "1 a\"b:2 \xff\xfe:3"}));

}  // namespace
}  // namespace vornask::testing
