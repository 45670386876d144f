#include "run/argument_reading.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "diag/caret_notation.h"
#include "platform/argument_text.h"
#include "run/decimal_conversion.h"

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

// A token as the caller's error line shows it: quoted, control characters
// visible, and cut short when long, since a whole line may hold 32767 bytes.
// The limit counts what is shown, and the cut falls between characters, so
// the line never ends in half a UTF-8 character or half a caret pair.
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

// Why the token being read was refused.
std::string Reason(const std::exception& failure, const char* range) {
  if (dynamic_cast<const std::invalid_argument*>(&failure) != nullptr) return "is not a number";
  if (dynamic_cast<const std::out_of_range*>(&failure) != nullptr) return std::string("is out of range (") + range + ")";
  if (dynamic_cast<const std::overflow_error*>(&failure) != nullptr) {
    return std::string("is longer than 32767 ") + kArgumentTextUnits;
  }
  return std::string("could not be read: ") + failure.what();
}

}  // namespace

void SplitArguments(std::string_view text, ArgTokens& tokens) {
  // The length is a signed 16-bit count of the system's characters: a longer
  // text is rejected whole.
  if (ArgumentTextLength(text) > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw std::overflow_error("argument text too long");
  }
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
}

ArgumentsOutcome ReadArguments(Run& run) {
  ArgTokens tokens;
  // What is being read, and its valid range, for the line that tells the
  // caller what was wrong.
  std::string reading = "the argument text";
  const char* range = "";
  std::string hint;
  try {
    SplitArguments(run.argument_text, tokens);
    if (run.state.DebugOn) run.log.AppendDebugLine(" CommandLine = " + run.argument_text);

    reading = "COUNT " + Quoted(tokens[0]);
    range = "-32768 to 32767";
    run.state.RequiredCount = tokens[0].empty() ? 0 : ToInt16(tokens[0]);

    std::int16_t count = 0;
    range = "-2147483648 to 2147483647";
    for (std::size_t slot = 1; slot < tokens.size() && !tokens[slot].empty(); ++slot) {
      ++count;
      const std::string& token = tokens[slot];
      const std::size_t colon = token.find(':');
      if (colon == std::string::npos) continue;  // counts as a target with no host and port 0
      const std::string_view port = std::string_view(token).substr(colon + 1);
      reading = "target " + std::to_string(count) + " " + Quoted(token) + ": port " + Quoted(port);
      // The last slot takes the rest of the text, separators and all.
      if (slot + 1 == tokens.size() && port.find_first_of(" \t") != std::string_view::npos) {
        hint = " (at most ten targets are read; the tenth takes the rest of the text)";
      }
      TargetEntry& entry = run.targets[count];
      entry.Host = token.substr(0, colon);
      entry.Port = ToInt32(port);
      entry.Connected = 0;
    }
    run.state.TargetCount = count;
  } catch (const std::exception& failure) {
    // What was stored before the failure stays stored; TargetCount stays 0,
    // so an untraced run ends as one with nothing to probe. The caller's
    // line comes after the trace line: should that fail, the run stops on
    // the failed trace instead, and no argument error is claimed.
    const std::string line = "vornask: argument error: " + reading + " " + Reason(failure, range) + hint + "; see vornask --help";
    if (!run.state.DebugOn) {
      run.errors.WriteLine(line);
      return ArgumentsOutcome::kContinue;
    }
    run.log.AppendDebugLine(" Argument Error");
    run.errors.WriteLine(line);
    Delay(run, 500);
    return ArgumentsOutcome::kEndProgram;
  }
  // An empty COUNT reads as 0, which every run with a target meets: most
  // likely a variable that was never set, so the caller hears of it.
  if (tokens[0].empty() && run.state.TargetCount > 0) run.errors.WriteLine(kEmptyCountWarning);
  return ArgumentsOutcome::kContinue;
}

}  // namespace vornask
