#include "run/argument_parse.h"

#include <limits>
#include <stdexcept>

#include "platform/argument_text.h"
#include "run/decimal_conversion.h"

namespace vornask {
namespace {

// A number token's value, or why it has none. The conversion tells a
// refused number by exception; this is the one place that turns it into a
// fault.
std::variant<std::int64_t, ArgumentFault> ReadNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  try {
    return ConvertDecimal(text, min, max);
  } catch (const std::invalid_argument&) {
    return ArgumentFault::kNotANumber;
  } catch (const std::out_of_range&) {
    return ArgumentFault::kOutOfRange;
  }
}

template <typename Integer>
std::variant<std::int64_t, ArgumentFault> ReadNumber(std::string_view text) {
  return ReadNumber(text, std::numeric_limits<Integer>::min(), std::numeric_limits<Integer>::max());
}

ArgumentError NumberError(ArgumentFault fault, ArgumentPart part, std::string_view token, std::int64_t min,
                          std::int64_t max, ArgumentReading read_before) {
  ArgumentError error;
  error.part = part;
  error.token = token;
  error.fault = fault;
  error.min = min;
  error.max = max;
  error.read_before = std::move(read_before);
  return error;
}

}  // namespace

std::optional<ArgTokens> SplitArguments(std::string_view text) {
  // The length is a signed 16-bit count of the system's characters: a longer
  // text is rejected whole.
  if (ArgumentTextLength(text) > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    return std::nullopt;
  }
  ArgTokens tokens;
  std::size_t slot = 0;
  bool in_quote = false;
  for (char c : text) {
    if (c == '"') {
      in_quote = !in_quote;
    } else if (!in_quote && (c == ' ' || c == '\t') && slot + 1 < tokens.size()) {
      ++slot;
    } else {
      tokens[slot] += c;
    }
  }
  return tokens;
}

bool WarnsOfEmptyCount(const ArgumentReading& reading) { return reading.count_empty && !reading.targets.empty(); }

ArgumentParse ParseArguments(std::string_view text) {
  const std::optional<ArgTokens> tokens = SplitArguments(text);
  if (!tokens) {
    ArgumentError error;
    error.part = ArgumentPart::kText;
    error.fault = ArgumentFault::kTooLong;
    return error;
  }

  ArgumentReading reading;
  const std::string& count = (*tokens)[0];
  reading.count_empty = count.empty();
  if (!count.empty()) {
    const auto number = ReadNumber<std::int16_t>(count);
    if (const auto* fault = std::get_if<ArgumentFault>(&number)) {
      return NumberError(*fault, ArgumentPart::kCount, count, std::numeric_limits<std::int16_t>::min(),
                         std::numeric_limits<std::int16_t>::max(), std::move(reading));
    }
    reading.required_count = static_cast<std::int16_t>(std::get<std::int64_t>(number));
  }

  // Two separators in a row leave an empty slot, which ends the list.
  for (std::size_t slot = 1; slot < tokens->size() && !(*tokens)[slot].empty(); ++slot) {
    const std::string& token = (*tokens)[slot];
    const std::size_t colon = token.find(':');
    if (colon == std::string::npos) {
      reading.targets.emplace_back();
      continue;
    }
    reading.targets.push_back({token.substr(0, colon), 0});
    const std::string_view port = std::string_view(token).substr(colon + 1);
    const auto number = ReadNumber<std::int32_t>(port);
    if (const auto* fault = std::get_if<ArgumentFault>(&number)) {
      ArgumentError error = NumberError(*fault, ArgumentPart::kTarget, token, std::numeric_limits<std::int32_t>::min(),
                                        std::numeric_limits<std::int32_t>::max(), std::move(reading));
      error.target_number = static_cast<int>(slot);
      error.port = port;
      // The last slot takes the rest of the text, separators and all.
      error.tenth_took_the_rest = slot + 1 == tokens->size() && port.find_first_of(" \t") != std::string_view::npos;
      return error;
    }
    reading.targets.back().port = static_cast<std::int32_t>(std::get<std::int64_t>(number));
  }
  return reading;
}

}  // namespace vornask
