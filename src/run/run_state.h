// What one probe run owns: its state, the target table, and the doors to the
// clock, the client and the trace. One Run object lives for one run, so every
// run (and every test) starts from zero.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>

#include "diag/trace_log.h"
#include "platform/env.h"
#include "platform/standard_error.h"
#include "probe/tcp_client.h"

namespace vornask {

struct RunState {
  bool DebugOn = false;
  bool IsConnected = false;
  // Moment (monotonic whole seconds) at which the current attempt is given up.
  std::int64_t Deadline = 0;
  std::int16_t RequiredCount = 0;
  std::int16_t TargetCount = 0;
  // Number of the target being probed; the client's events are credited to it.
  std::int16_t CurrentTarget = 0;
  // End of the last pause slice (monotonic ms), so that pauses that follow
  // one another keep to one grid; none before the first.
  std::optional<std::int64_t> LastSliceEnd;
};

struct TargetEntry {
  std::string Host;
  std::int32_t Port = 0;
  std::int16_t Connected = 0;  // 0 or 1, summed by the tally
};

inline constexpr int kMaxTargets = 10;

// Ten entries numbered 1 to 10; any other number fails like any other error.
class Targets {
 public:
  TargetEntry& operator[](std::int32_t number);

 private:
  std::array<TargetEntry, kMaxTargets> entries_{};
};

// Thrown by a failure that no handler of the run may catch: one that escaped
// a client event handler. It ends the run like any other unhandled failure.
struct RunAborted {
  std::string what;
};

struct Run {
  Run(Env& env, TcpClient& client, TraceLog& log, StandardError& errors, std::string argument_text)
      : env(env), client(client), log(log), errors(errors), argument_text(std::move(argument_text)) {}

  Env& env;
  TcpClient& client;
  TraceLog& log;
  // Traced or not, a run says here what its status alone would hide.
  StandardError& errors;
  // Receiver of the client's events; set by whoever owns the handlers.
  TcpClientEvents* events = nullptr;
  // The command line after the program name, as one text.
  std::string argument_text;

  // The run's state and its target table; their fields carry the names the
  // run's procedures are written in (DebugOn, TargetCount, Host ...).
  RunState state;
  Targets targets;
};

}  // namespace vornask
