#include "run/decimal_conversion.h"

#include <limits>
#include <stdexcept>
#include <string>

namespace vornask {
namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }

std::string_view TrimBlanks(std::string_view text) {
  while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
  while (!text.empty() && text.back() == ' ') text.remove_suffix(1);
  return text;
}

[[noreturn]] void ThrowNotANumber(std::string_view text) {
  throw std::invalid_argument("not a number: \"" + std::string(text) + "\"");
}

}  // namespace

std::int64_t ConvertDecimal(std::string_view text, std::int64_t min, std::int64_t max) {
  std::string_view rest = TrimBlanks(text);
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }

  const std::size_t point = rest.find('.');
  const std::string_view whole = rest.substr(0, point);
  const std::string_view fraction = point == std::string_view::npos ? std::string_view{} : rest.substr(point + 1);
  for (std::string_view digits : {whole, fraction}) {
    for (char c : digits) {
      if (!IsDigit(c)) ThrowNotANumber(text);
    }
  }
  if (whole.empty() && fraction.empty()) ThrowNotANumber(text);

  // Any magnitude above this limit is out of every supported range; stopping
  // there keeps a digit string of any length from overflowing the arithmetic.
  constexpr std::uint64_t kLimit = std::uint64_t{1} << 62;
  std::uint64_t magnitude = 0;
  for (char c : whole) {
    if (magnitude > kLimit / 10) throw std::out_of_range("number out of range: \"" + std::string(text) + "\"");
    magnitude = magnitude * 10 + static_cast<std::uint64_t>(c - '0');
  }

  if (!fraction.empty()) {
    const char first = fraction.front();
    const bool beyond_half = fraction.find_first_not_of('0', 1) != std::string_view::npos;
    const bool round_up = first > '5' || (first == '5' && (beyond_half || magnitude % 2 == 1));
    if (round_up) ++magnitude;
  }

  const std::int64_t value = negative ? -static_cast<std::int64_t>(magnitude) : static_cast<std::int64_t>(magnitude);
  if (value < min || value > max) throw std::out_of_range("number out of range: \"" + std::string(text) + "\"");
  return value;
}

std::int16_t ToInt16(std::string_view text) {
  return static_cast<std::int16_t>(
      ConvertDecimal(text, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max()));
}

std::int32_t ToInt32(std::string_view text) {
  return static_cast<std::int32_t>(
      ConvertDecimal(text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
}

}  // namespace vornask
