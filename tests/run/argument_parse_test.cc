#include "run/argument_parse.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <ostream>
#include <string>
#include <vector>

#include "run/argument_error_line.h"

namespace vornask {

void PrintTo(const ArgumentTarget& target, std::ostream* out) { *out << target.host << ':' << target.port; }

void PrintTo(const ArgumentReading& reading, std::ostream* out) {
  *out << "COUNT " << reading.required_count << (reading.count_empty ? " (empty)" : "") << ", targets";
  for (const ArgumentTarget& target : reading.targets) *out << ' ' << target.host << ':' << target.port;
}

namespace testing {
namespace {

// The text, cut short when long, in place of the bytes of a whole case.
void PrintText(const std::string& text, std::ostream* out) {
  *out << '"' << text.substr(0, 60) << (text.size() > 60 ? "...\" (" + std::to_string(text.size()) + " bytes)" : "\"");
}

struct SplitCase {
  std::string text;
  std::vector<std::string> slots;  // leading slots; the rest must stay empty
};

class SplitArgumentsTest : public ::testing::TestWithParam<SplitCase> {};

TEST_P(SplitArgumentsTest, FillsTheSlots) {
  const std::optional<ArgTokens> tokens = SplitArguments(GetParam().text);
  ASSERT_TRUE(tokens.has_value());
  std::vector<std::string> expected = GetParam().slots;
  expected.resize(tokens->size());
  EXPECT_EQ(std::vector<std::string>(tokens->begin(), tokens->end()), expected) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SplitArgumentsTest,
    ::testing::Values(SplitCase{"", {}}, SplitCase{"1 a:1 b:2", {"1", "a:1", "b:2"}}, SplitCase{"1\ta:1", {"1", "a:1"}},
                      SplitCase{"1  a:1", {"1", "", "a:1"}}, SplitCase{" 1", {"", "1"}},
                      SplitCase{"1 \"my host:80\"", {"1", "my host:80"}}, SplitCase{"1 a\"b c\"d:1", {"1", "ab cd:1"}},
                      SplitCase{"1 \"\" b:2", {"1", "", "b:2"}}, SplitCase{"1 \"a b", {"1", "a b"}},
                      SplitCase{"1 a b c d e f g h i j k", {"1", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j k"}},
                      SplitCase{"1 a b c d e f g h i j\t\"k\" l  m",
                                {"1", "a", "b", "c", "d", "e", "f", "g", "h", "i", "j\tk l  m"}}));

TEST(SplitArgumentsLength, TextOver32767BytesIsRejectedWhole) {
  EXPECT_TRUE(SplitArguments(std::string(32767, 'x')).has_value());
  EXPECT_FALSE(SplitArguments(std::string(32768, 'x')).has_value());
}

struct ParseReadingCase {
  std::string text;
  ArgumentReading reading;
  bool warns = false;  // of an empty COUNT
};

void PrintTo(const ParseReadingCase& c, std::ostream* out) { PrintText(c.text, out); }

class ParseArgumentsReadingTest : public ::testing::TestWithParam<ParseReadingCase> {};

TEST_P(ParseArgumentsReadingTest, ReadsCountAndTargetsInOrder) {
  const ArgumentParse parse = ParseArguments(GetParam().text);
  ASSERT_TRUE(std::holds_alternative<ArgumentReading>(parse)) << GetParam().text;
  const auto& reading = std::get<ArgumentReading>(parse);
  EXPECT_EQ(reading, GetParam().reading) << GetParam().text;
  EXPECT_EQ(reading.target_count(), static_cast<std::int16_t>(GetParam().reading.targets.size()));
  EXPECT_EQ(WarnsOfEmptyCount(reading), GetParam().warns) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseArgumentsReadingTest,
                         ::testing::Values(ParseReadingCase{"", {0, true, {}}}, ParseReadingCase{"-3", {-3, false, {}}},
                                           ParseReadingCase{"\"\" a:1", {0, true, {{"a", 1}}}, true},
                                           ParseReadingCase{"0 a:1", {0, false, {{"a", 1}}}},
                                           ParseReadingCase{"2 a:80 nocolon \"b c:2.5\" :7",
                                                            {2, false, {{"a", 80}, {"", 0}, {"b c", 2}, {"", 7}}}},
                                           ParseReadingCase{"1 a:1  b:2", {1, false, {{"a", 1}}}}));

constexpr std::int64_t kInt16Min = -32768;
constexpr std::int64_t kInt16Max = 32767;
constexpr std::int64_t kInt32Min = -2147483648LL;
constexpr std::int64_t kInt32Max = 2147483647LL;

struct ParseErrorCase {
  std::string text;
  ArgumentPart part;
  int target_number;
  ArgumentFault fault;
  std::string token;
  std::string port;
  std::int64_t min = 0;
  std::int64_t max = 0;
  bool tenth_took_the_rest = false;
  ArgumentReading read_before{};
};

void PrintTo(const ParseErrorCase& c, std::ostream* out) { PrintText(c.text, out); }

class ParseArgumentsErrorTest : public ::testing::TestWithParam<ParseErrorCase> {};

TEST_P(ParseArgumentsErrorTest, NamesTheTokenItsPlaceAndTheFault) {
  const ParseErrorCase& expected = GetParam();
  const ArgumentParse parse = ParseArguments(expected.text);
  ASSERT_TRUE(std::holds_alternative<ArgumentError>(parse)) << expected.text;
  const auto& error = std::get<ArgumentError>(parse);
  EXPECT_EQ(error.part, expected.part);
  EXPECT_EQ(error.target_number, expected.target_number);
  EXPECT_EQ(error.fault, expected.fault);
  EXPECT_EQ(error.token, expected.token);
  EXPECT_EQ(error.port, expected.port);
  EXPECT_EQ(error.min, expected.min);
  EXPECT_EQ(error.max, expected.max);
  EXPECT_EQ(error.tenth_took_the_rest, expected.tenth_took_the_rest);
  EXPECT_EQ(error.read_before, expected.read_before);
}

const std::string kTenTargetsAndMore = "1 a:1 a:2 a:3 a:4 a:5 a:6 a:7 a:8 a:9 a:10 a:11";

INSTANTIATE_TEST_SUITE_P(
    Texts, ParseArgumentsErrorTest,
    ::testing::Values(
        ParseErrorCase{"x a:1", ArgumentPart::kCount, 0, ArgumentFault::kNotANumber, "x", "", kInt16Min, kInt16Max},
        ParseErrorCase{"40000 a:1", ArgumentPart::kCount, 0, ArgumentFault::kOutOfRange, "40000", "", kInt16Min,
                       kInt16Max},
        // A failing target keeps the targets before it and its own host.
        ParseErrorCase{"3 a:80 nocolon b:x c:1", ArgumentPart::kTarget, 3, ArgumentFault::kNotANumber, "b:x", "x",
                       kInt32Min, kInt32Max, false, ArgumentReading{3, false, {{"a", 80}, {"", 0}, {"b", 0}}}},
        ParseErrorCase{"\"\" a:2147483648", ArgumentPart::kTarget, 1, ArgumentFault::kOutOfRange, "a:2147483648",
                       "2147483648", kInt32Min, kInt32Max, false, ArgumentReading{0, true, {{"a", 0}}}},
        // The value holds the whole token; cutting it short is the line's business.
        ParseErrorCase{"1 host:" + std::string(60, '9'), ArgumentPart::kTarget, 1, ArgumentFault::kOutOfRange,
                       "host:" + std::string(60, '9'), std::string(60, '9'), kInt32Min, kInt32Max, false,
                       ArgumentReading{1, false, {{"host", 0}}}},
        ParseErrorCase{
            kTenTargetsAndMore, ArgumentPart::kTarget, 10, ArgumentFault::kNotANumber, "a:10 a:11", "10 a:11",
            kInt32Min, kInt32Max, true,
            ArgumentReading{
                1,
                false,
                {{"a", 1}, {"a", 2}, {"a", 3}, {"a", 4}, {"a", 5}, {"a", 6}, {"a", 7}, {"a", 8}, {"a", 9}, {"a", 0}}}},
        // The tenth target's own fault, with no separator in its port, is no sign of an eleventh.
        ParseErrorCase{
            "1 a b c d e f g h i j:x", ArgumentPart::kTarget, 10, ArgumentFault::kNotANumber, "j:x",
            "x", kInt32Min, kInt32Max, false,
            ArgumentReading{
                1, false, {{"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"", 0}, {"j", 0}}}},
        ParseErrorCase{"1 a:1 " + std::string(32762, 'b'), ArgumentPart::kText, 0, ArgumentFault::kTooLong, "", ""}));

TEST(ArgumentErrorLine, IsMadeOfTheErrorValueAlone) {
  ArgumentError error;
  error.part = ArgumentPart::kTarget;
  error.target_number = 7;
  error.token = "h:x y";
  error.port = "x y";
  error.fault = ArgumentFault::kOutOfRange;
  error.min = 1;
  error.max = 9;
  error.tenth_took_the_rest = true;
  EXPECT_EQ(ArgumentErrorLine(error),
            "vornask: argument error: target 7 \"h:x y\": port \"x y\" is out of range (1 to 9) (at most ten targets "
            "are read; the tenth takes the rest of the text); see vornask --help");
  error.part = ArgumentPart::kCount;
  error.token = "\x1b";
  error.fault = ArgumentFault::kNotANumber;
  error.tenth_took_the_rest = false;
  EXPECT_EQ(ArgumentErrorLine(error), "vornask: argument error: COUNT \"^[\" is not a number; see vornask --help");
}

}  // namespace
}  // namespace testing
}  // namespace vornask
