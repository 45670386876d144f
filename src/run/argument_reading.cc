#include "run/argument_reading.h"

#include <string>
#include <variant>

#include "run/argument_error_line.h"
#include "run/argument_parse.h"
#include "run/pacer.h"

namespace vornask {
namespace {

void Store(Run& run, const ArgumentReading& reading) {
  run.state.RequiredCount = reading.required_count;
  std::int32_t number = 0;
  for (const ArgumentTarget& target : reading.targets) {
    TargetEntry& entry = run.targets[++number];
    entry.Host = target.host;
    entry.Port = target.port;
    entry.Connected = 0;
  }
}

}  // namespace

ArgumentsOutcome ReadArguments(Run& run) {
  const ArgumentParse parse = ParseArguments(run.argument_text);
  const auto* error = std::get_if<ArgumentError>(&parse);
  // A text too long to split is not traced: only its rejection is.
  const bool split = error == nullptr || error->fault != ArgumentFault::kTooLong;
  if (run.state.DebugOn && split) run.log.AppendDebugLine(" CommandLine = " + run.argument_text);

  if (error == nullptr) {
    const auto& reading = std::get<ArgumentReading>(parse);
    Store(run, reading);
    run.state.TargetCount = reading.target_count();
    if (WarnsOfEmptyCount(reading)) run.errors.WriteLine(kEmptyCountWarning);
    return ArgumentsOutcome::kContinue;
  }

  // What was read before the fault stays stored; TargetCount stays 0, so an
  // untraced run ends as one with nothing to probe. The caller's line comes
  // after the trace line: should that fail, the run stops on the failed
  // trace instead, and no argument error is claimed.
  Store(run, error->read_before);
  const std::string line = ArgumentErrorLine(*error);
  if (!run.state.DebugOn) {
    run.errors.WriteLine(line);
    return ArgumentsOutcome::kContinue;
  }
  run.log.AppendDebugLine(" Argument Error");
  run.errors.WriteLine(line);
  Delay(run, 500);
  return ArgumentsOutcome::kEndProgram;
}

}  // namespace vornask
