// Whatever bytes arrive as the argument text, reading them must not crash or
// read outside the text, must give at most ten targets, must agree with a
// plain reference reading of every number, must give the same result every
// time, and a rejected text must be told in one short printable line.

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <variant>

#include "run/argument_error_line.h"
#include "run/argument_parse.h"

namespace {

using vornask::ArgTokens;
using vornask::ArgumentError;
using vornask::ArgumentParse;
using vornask::ArgumentReading;
using vornask::ArgumentTarget;

[[noreturn]] void Fail(const char* why) {
  std::fprintf(stderr, "argument_reading_fuzzer: %s\n", why);
  __builtin_trap();
}

void Check(bool holds, const char* why) {
  if (!holds) Fail(why);
}

// A number token read the plain way, in one forward scan: blanks, a sign,
// digits, a point and digits, blanks. Rounding compares the fraction's digits
// with "5" as text, which orders fractions correctly once their trailing
// zeros are gone; so halves go to even without looking at single digits.
std::optional<std::int64_t> ReferenceNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  std::string_view rest = text;
  const auto skip_blanks = [&rest] {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  };
  const auto take_digits = [&rest] {
    std::size_t n = 0;
    while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
    const std::string_view digits = rest.substr(0, n);
    rest.remove_prefix(n);
    return digits;
  };

  skip_blanks();
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  std::string_view whole = take_digits();
  std::string_view fraction;
  if (!rest.empty() && rest.front() == '.') {
    rest.remove_prefix(1);
    fraction = take_digits();
  }
  skip_blanks();
  if (!rest.empty() || (whole.empty() && fraction.empty())) return std::nullopt;

  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  // Eighteen digits still fit the arithmetic and already exceed any range asked for.
  if (whole.size() > 18) return std::nullopt;
  std::int64_t magnitude = 0;
  for (char c : whole) magnitude = magnitude * 10 + (c - '0');

  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  const int against_half = fraction.compare("5");
  if (against_half > 0 || (against_half == 0 && magnitude % 2 == 1)) ++magnitude;

  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < min || value > max) return std::nullopt;
  return value;
}

// Splitting only drops quotes and separators: every other byte reaches a
// token, none is invented, and the order is kept.
void CheckTokens(std::string_view text, const ArgTokens& tokens) {
  std::string kept_from_text;
  for (char c : text) {
    if (c != '"' && c != ' ' && c != '\t') kept_from_text += c;
  }
  std::string kept_from_tokens;
  for (const std::string& token : tokens) {
    Check(token.find('"') == std::string::npos, "a token kept a double quote");
    for (char c : token) {
      if (c != ' ' && c != '\t') kept_from_tokens += c;
    }
  }
  Check(kept_from_text == kept_from_tokens, "splitting lost, invented or reordered bytes");
}

// Whether every byte of `text` belongs to a whole UTF-8 sequence: a lead
// byte followed by as many continuation bytes as it announces.
bool WholeUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t bytes = lead < 0x80                   ? 1
                              : lead >= 0xc0 && lead < 0xe0 ? 2
                              : lead >= 0xe0 && lead < 0xf0 ? 3
                              : lead >= 0xf0 && lead < 0xf8 ? 4
                                                            : 0;
    if (bytes == 0 || at + bytes > text.size()) return false;
    for (std::size_t i = 1; i < bytes; ++i) {
      if ((static_cast<unsigned char>(text[at + i]) & 0xc0) != 0x80) return false;
    }
    at += bytes;
  }
  return true;
}

// What was read: the whole reading, or what the error keeps of it.
const ArgumentReading& ReadingOf(const ArgumentParse& parse) {
  if (const auto* error = std::get_if<ArgumentError>(&parse)) return error->read_before;
  return std::get<ArgumentReading>(parse);
}

// A rejected text is told in exactly one line, short, printable and in its
// frame.
void CheckErrorLine(std::string_view text, const ArgumentError& error) {
  const std::string line = vornask::ArgumentErrorLine(error);
  Check(line.rfind("vornask: argument error: ", 0) == 0, "the error line lacks its prefix");
  const std::string_view suffix = "; see vornask --help";
  Check(line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0,
        "the error line lacks its ending");
  Check(line.size() < 512, "the error line is not short");
  for (char c : line) {
    const auto byte = static_cast<unsigned char>(c);
    // A line feed or carriage return would make it more than one line.
    Check((byte >= 0x20 && byte != 0x7f) || byte == 0x09, "the error line holds a control character");
  }
  // Tokens are cut short between characters: UTF-8 in, UTF-8 out.
  Check(!WholeUtf8(text) || WholeUtf8(line), "the error line cut a UTF-8 character");
}

// `tokens` is null when the text was over the length limit.
void CheckAgainstReference(std::string_view text, const ArgTokens* tokens, const ArgumentParse& got) {
  const auto* error = std::get_if<ArgumentError>(&got);
  const ArgumentReading& reading = ReadingOf(got);
  Check(reading.targets.size() <= 10u, "more than ten targets read");

  if (tokens == nullptr) {
    Check(error != nullptr && error->fault == vornask::ArgumentFault::kTooLong &&
              error->part == vornask::ArgumentPart::kText,
          "an over-long text was not rejected whole");
    Check(reading == ArgumentReading{}, "an over-long text kept something read");
    CheckErrorLine(text, *error);
    return;
  }

  const std::string& count = (*tokens)[0];
  Check(reading.count_empty == count.empty(), "an empty COUNT was not noted as such");
  bool ok = true;
  std::int16_t required = 0;
  if (!count.empty()) {
    const auto value =
        ReferenceNumber(count, std::numeric_limits<std::int16_t>::min(), std::numeric_limits<std::int16_t>::max());
    if (value) {
      required = static_cast<std::int16_t>(*value);
    } else {
      ok = false;
      Check(error != nullptr && error->part == vornask::ArgumentPart::kCount && error->token == count,
            "a refused COUNT was not named as the fault");
    }
  }
  Check(reading.required_count == required, "the required count differs from the reference reading");

  std::size_t number = 0;  // targets reached, the failing one included
  for (std::size_t slot = 1; ok && slot < tokens->size() && !(*tokens)[slot].empty(); ++slot) {
    Check(number < reading.targets.size(), "a target reached was not kept");
    const ArgumentTarget& target = reading.targets[number++];
    const std::string_view token = (*tokens)[slot];
    const std::size_t colon = token.find(':');
    if (colon == std::string_view::npos) {
      Check(target == ArgumentTarget{}, "a target with no colon got a host or a port");
      continue;
    }
    const std::string_view host = token.substr(0, colon);
    const std::string_view port_text = token.substr(colon + 1);
    Check(target.host == host, "a target's host differs from its token");
    const auto port =
        ReferenceNumber(port_text, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max());
    if (!port) {
      ok = false;
      Check(target.port == 0, "a target whose port was rejected kept a port");
      Check(error != nullptr && error->part == vornask::ArgumentPart::kTarget &&
                error->target_number == static_cast<int>(slot) && error->token == token && error->port == port_text,
            "a refused port was not named as the fault");
      break;
    }
    Check(target.port == *port, "a target's port differs from the reference reading");
  }
  Check(reading.targets.size() == number, "a target past the last one reached was read");
  Check((error == nullptr) == ok, "the text was rejected or accepted against the reference reading");

  if (ok) {
    // A text read whole is silent, but for the one warning of an empty COUNT
    // before at least one target.
    Check(vornask::WarnsOfEmptyCount(reading) == (count.empty() && number > 0),
          "a text read whole was not told exactly as an empty COUNT asks");
    return;
  }
  CheckErrorLine(text, *error);
}

bool SameParse(const ArgumentParse& a, const ArgumentParse& b) {
  if (a.index() != b.index() || !(ReadingOf(a) == ReadingOf(b))) return false;
  const auto* a_error = std::get_if<ArgumentError>(&a);
  const auto* b_error = std::get_if<ArgumentError>(&b);
  return a_error == nullptr || vornask::ArgumentErrorLine(*a_error) == vornask::ArgumentErrorLine(*b_error);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader gets a std::string_view; an exactly sized heap copy, with no
  // terminator or inline buffer to hide a read one past the end, lets
  // AddressSanitizer see any such read.
  const std::unique_ptr<char[]> exact(new char[size]);
  if (size > 0) std::memcpy(exact.get(), data, size);
  const std::string_view text(exact.get(), size);

  const std::optional<ArgTokens> tokens = vornask::SplitArguments(text);
  Check(!tokens == (size > 32767), "the length limit is not 32767 bytes");
  if (tokens) CheckTokens(text, *tokens);

  const ArgumentParse first = vornask::ParseArguments(text);
  CheckAgainstReference(text, tokens ? &*tokens : nullptr, first);
  Check(SameParse(first, vornask::ParseArguments(text)), "the same text read twice gave different results");
  return 0;
}
