#include "run/argument_reading.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

#include "run/decimal_conversion.h"

namespace vornask {

void SplitArguments(std::string_view text, ArgTokens& tokens) {
  // The length is a signed 16-bit count: a longer text is rejected whole.
  if (text.size() > static_cast<std::size_t>(std::numeric_limits<std::int16_t>::max())) {
    throw std::overflow_error("argument text longer than 32767 bytes");
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
  try {
    SplitArguments(run.argument_text, tokens);
    if (run.state.DebugOn) run.log.AppendDebugLine(" CommandLine = " + run.argument_text);

    run.state.RequiredCount = tokens[0].empty() ? 0 : ToInt16(tokens[0]);

    std::int16_t count = 0;
    for (std::size_t slot = 1; slot < tokens.size() && !tokens[slot].empty(); ++slot) {
      ++count;
      const std::string& token = tokens[slot];
      const std::size_t colon = token.find(':');
      if (colon == std::string::npos) continue;  // counts as a target with no host and port 0
      TargetEntry& entry = run.targets[count];
      entry.Host = token.substr(0, colon);
      entry.Port = ToInt32(std::string_view(token).substr(colon + 1));
      entry.Connected = 0;
    }
    run.state.TargetCount = count;
  } catch (const std::exception&) {
    // What was stored before the failure stays stored; TargetCount stays 0,
    // so an untraced run ends as one with nothing to probe.
    if (!run.state.DebugOn) return ArgumentsOutcome::kContinue;
    run.log.AppendDebugLine(" Argument Error");
    Delay(run, 500);
    return ArgumentsOutcome::kEndProgram;
  }
  return ArgumentsOutcome::kContinue;
}

}  // namespace vornask
