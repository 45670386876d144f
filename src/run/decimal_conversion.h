// Conversion of argument tokens to integers: an optionally blank-surrounded,
// optionally signed decimal number with an optional '.' fraction, rounded to
// the nearest integer, halves to even. Rounding is decided on the decimal
// digits themselves, so no binary floating-point error can move a result.
#pragma once

#include <cstdint>
#include <string_view>

namespace vornask {

// Throws std::invalid_argument for text that is not such a number and
// std::out_of_range when the rounded value lies outside [min, max].
std::int64_t ConvertDecimal(std::string_view text, std::int64_t min, std::int64_t max);

std::int16_t ToInt16(std::string_view text);
std::int32_t ToInt32(std::string_view text);

}  // namespace vornask
