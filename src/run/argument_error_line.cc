#include "run/argument_error_line.h"

#include <string_view>

#include "diag/caret_notation.h"
#include "platform/argument_text.h"

namespace vornask {
namespace {

// Bytes of the character at the front of `text`: a whole UTF-8 sequence
// when one starts there, else the one byte.
std::size_t CharacterBytes(std::string_view text) {
  const auto lead = static_cast<unsigned char>(text.front());
  const std::size_t bytes = lead >= 0xf0 && lead < 0xf8 ? 4 : lead >= 0xe0 ? 3 : lead >= 0xc0 ? 2 : 1;
  if (bytes > text.size()) return 1;
  for (std::size_t i = 1; i < bytes; ++i) {
    if ((static_cast<unsigned char>(text[i]) & 0xc0) != 0x80) return 1;
  }
  return bytes;
}

// A token as the line shows it: quoted, control characters visible, and cut
// short when long, since a whole argument text may hold 32767 bytes. The
// limit counts what is shown, and the cut falls between characters, so the
// line never ends in half a UTF-8 character or half a caret pair.
std::string Quoted(std::string_view token) {
  constexpr std::size_t kShown = 48;
  std::string shown;
  std::size_t at = 0;
  while (at < token.size()) {
    const std::size_t bytes = CharacterBytes(token.substr(at));
    const std::string visible = CaretNotation(token.substr(at, bytes));
    if (shown.size() + visible.size() > kShown) break;
    shown += visible;
    at += bytes;
  }
  return "\"" + shown + (at < token.size() ? "...\"" : "\"");
}

std::string What(const ArgumentError& error) {
  switch (error.part) {
    case ArgumentPart::kCount:
      return "COUNT " + Quoted(error.token);
    case ArgumentPart::kTarget:
      return "target " + std::to_string(error.target_number) + " " + Quoted(error.token) + ": port " +
             Quoted(error.port);
    case ArgumentPart::kText:
      break;
  }
  return "the argument text";
}

std::string Why(const ArgumentError& error) {
  switch (error.fault) {
    case ArgumentFault::kNotANumber:
      return "is not a number";
    case ArgumentFault::kOutOfRange:
      return "is out of range (" + std::to_string(error.min) + " to " + std::to_string(error.max) + ")";
    case ArgumentFault::kTooLong:
      break;
  }
  return std::string("is longer than 32767 ") + kArgumentTextUnits;
}

}  // namespace

std::string ArgumentErrorLine(const ArgumentError& error) {
  const std::string hint =
      error.tenth_took_the_rest ? " (at most ten targets are read; the tenth takes the rest of the text)" : "";
  return "vornask: argument error: " + What(error) + " " + Why(error) + hint + "; see vornask --help";
}

}  // namespace vornask
