#include "run/decimal_conversion.h"

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>

namespace vornask::testing {
namespace {

struct Converted {
  const char* text;
  std::int64_t value;
};

class ConvertsToInt16 : public ::testing::TestWithParam<Converted> {};

TEST_P(ConvertsToInt16, RoundsHalvesToEvenFromTheDigitsThemselves) {
  EXPECT_EQ(ToInt16(GetParam().text), GetParam().value) << '"' << GetParam().text << '"';
}

INSTANTIATE_TEST_SUITE_P(Forms, ConvertsToInt16,
                         ::testing::Values(Converted{"0", 0}, Converted{"7", 7}, Converted{"  12  ", 12},
                                           Converted{"+3", 3}, Converted{"-3", -3}, Converted{"007", 7},
                                           Converted{"2.5", 2}, Converted{"3.5", 4}, Converted{"-2.5", -2},
                                           Converted{"-3.5", -4}, Converted{"0.5", 0}, Converted{".5", 0},
                                           Converted{"1.", 1}, Converted{"1.49999999999999999999", 1},
                                           Converted{"0.50000000000000000001", 1},
                                           Converted{"2.50000000000000000000", 2}, Converted{"-0.4", 0},
                                           Converted{"32767", 32767}, Converted{"32767.4", 32767},
                                           Converted{"-32768", -32768}, Converted{"-32768.5", -32768},
                                           Converted{"000000000000000000000000000000000000042", 42}));

class RejectedByInt16 : public ::testing::TestWithParam<const char*> {};

TEST_P(RejectedByInt16, IsNotANumber) { EXPECT_THROW(ToInt16(GetParam()), std::invalid_argument) << GetParam(); }

INSTANTIATE_TEST_SUITE_P(Forms, RejectedByInt16,
                         ::testing::Values("", " ", ".", "+", "-", "+.", "1 2", "1..2", "1.2.3", "--1", "+-1", "- 1",
                                           "1e3", "0x10", "1,000", "12abc", "\t1", "1\t", "\xc2\xb3"));

class OverflowsInt16 : public ::testing::TestWithParam<const char*> {};

TEST_P(OverflowsInt16, IsOutOfRange) { EXPECT_THROW(ToInt16(GetParam()), std::out_of_range) << GetParam(); }

INSTANTIATE_TEST_SUITE_P(Limits, OverflowsInt16,
                         ::testing::Values("32768", "32767.5", "-32769", "-32768.6", "99999999999999999999999999999",
                                           "-99999999999999999999999999999.5"));

TEST(ConvertsToInt32, CoversTheSigned32BitRangeExactly) {
  EXPECT_EQ(ToInt32("2147483647"), 2147483647);
  EXPECT_EQ(ToInt32("-2147483648"), -2147483647 - 1);
  EXPECT_EQ(ToInt32("2147483646.5"), 2147483646);
  EXPECT_EQ(ToInt32("70000"), 70000);
  EXPECT_THROW(ToInt32("2147483647.5"), std::out_of_range);
  EXPECT_THROW(ToInt32("2147483648"), std::out_of_range);
  EXPECT_THROW(ToInt32("-2147483649"), std::out_of_range);
}

TEST(ConvertsToInt32, DigitStringOfAnyLengthOverflowsCleanly) {
  EXPECT_THROW(ToInt32(std::string(100000, '9')), std::out_of_range);
  // Prefixes that would wrap a 64-bit accumulator back into range.
  EXPECT_THROW(ToInt32("36893488147419103312"), std::out_of_range);
  EXPECT_THROW(ToInt16("36893488147419103233"), std::out_of_range);
  EXPECT_THROW(ToInt16("-18446744073709551617"), std::out_of_range);
  EXPECT_EQ(ToInt32(std::string(100000, '0') + "80"), 80);
  EXPECT_EQ(ToInt32("1." + std::string(100000, '4')), 1);
}

}  // namespace
}  // namespace vornask::testing
