// The argument text read into the required count and the targets, with no
// side effects: a reading, or what was wrong and where.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

namespace vornask {

// Slot 0 takes the required count, slots 1 to 10 the targets. An empty slot
// is one that no character reached.
using ArgTokens = std::array<std::string, 11>;

// Splits on single blanks or tabs outside double quotes; quotes are dropped
// and group separators into a token; the last slot takes the whole rest of
// the text. Empty for a text over 32767 of the system's characters.
std::optional<ArgTokens> SplitArguments(std::string_view text);

// A target as read: the text before its first colon and the number after
// it. A token with no colon reads as no host and port 0.
struct ArgumentTarget {
  std::string host;
  std::int32_t port = 0;
  friend bool operator==(const ArgumentTarget&, const ArgumentTarget&) = default;
};

struct ArgumentReading {
  std::int16_t required_count = 0;
  // COUNT was empty and reads as 0.
  bool count_empty = false;
  // In order, target 1 first; at most ten.
  std::vector<ArgumentTarget> targets;

  std::int16_t target_count() const { return static_cast<std::int16_t>(targets.size()); }
  friend bool operator==(const ArgumentReading&, const ArgumentReading&) = default;
};

// An empty COUNT reads as 0, which every run with a target meets: most
// likely a variable that was never set, so the caller hears of it.
bool WarnsOfEmptyCount(const ArgumentReading& reading);

enum class ArgumentPart {
  kText,    // the whole argument text
  kCount,   // COUNT
  kTarget,  // the port of one target
};

enum class ArgumentFault {
  kNotANumber,
  kOutOfRange,
  kTooLong,  // over 32767 of the system's characters
};

struct ArgumentError {
  ArgumentPart part = ArgumentPart::kText;
  // Number of the target, 1 to 10; 0 for COUNT and the whole text.
  int target_number = 0;
  // The token and, for a target, the port text after its first colon, whole.
  std::string token;
  std::string port;
  ArgumentFault fault = ArgumentFault::kNotANumber;
  // The range a number must lie in, for COUNT and a port.
  std::int64_t min = 0;
  std::int64_t max = 0;
  // The tenth target took the rest of the text and its port holds a
  // separator: most likely more than ten targets were given.
  bool tenth_took_the_rest = false;
  // What was read before the fault, as it stays stored: COUNT once read,
  // the targets before the failing one, and the failing one's host (its
  // port 0). Nothing for a text that was not split.
  ArgumentReading read_before;
};

using ArgumentParse = std::variant<ArgumentReading, ArgumentError>;

// The whole text is read, or the first token that fails ends the reading.
ArgumentParse ParseArguments(std::string_view text);

}  // namespace vornask
