// The optional trace file `tcpdebug.txt`. Its presence at start switches
// tracing on; each line is appended with one write on its own opening, so
// runs that share the file never tear or interleave a line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "platform/env.h"
#include "platform/trace_file.h"

namespace vornask {

class TraceLog {
 public:
  // The trace file in `directory` (see TraceDirectory).
  TraceLog(const std::string& directory, Env& env) : directory_(directory), env_(env) {}

  // True when the file exists as a regular file with a single name.
  bool DebugFileExists() const { return directory_.TraceFileExists(); }

  // The empty line that separates runs, then " Start", in one write.
  void WriteTraceHeader();

  // One timestamped line. Control characters in the message are written in
  // caret notation, so a line always ends at its own CR LF. Throws
  // std::system_error when the file cannot be opened or written; once that
  // has happened, every later line of this log fails the same way. It is
  // closed on every path.
  void AppendDebugLine(std::string_view message);

  // As above, but the message is composed only after the file was opened,
  // so values read from the client reflect the moment of writing. A failure
  // while composing fails this line only.
  void AppendDebugLine(const std::function<std::string()>& compose_message);

 private:
  void AppendText(const std::function<std::string()>& compose_text);

  TraceDirectory directory_;
  Env& env_;
  std::optional<std::system_error> write_failure_;
};

}  // namespace vornask
