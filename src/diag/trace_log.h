// The optional trace file `tcpdebug.txt`. Its presence at start switches
// tracing on; each line is appended with one write on its own opening, so
// runs that share the file never tear or interleave a line.
#pragma once

#include <functional>
#include <string>
#include <string_view>

#include "run/env.h"

namespace vornask {

class TraceLog {
 public:
  TraceLog(std::string path, Env& env);

  // True when the file exists as a regular file (links are not followed).
  bool DebugFileExists() const;

  // The empty line that separates runs, then " Start", in one write.
  void WriteTraceHeader();

  // One timestamped line. Throws std::system_error when the file cannot be
  // opened or written; it is closed on every path.
  void AppendDebugLine(std::string_view message);

  // As above, but the message is composed only after the file was opened,
  // so values read from the client reflect the moment of writing.
  void AppendDebugLine(const std::function<std::string()>& compose_message);

  const std::string& path() const { return path_; }

 private:
  void AppendText(const std::function<std::string()>& compose_text);

  std::string path_;
  Env& env_;
};

// `tcpdebug.txt` in the directory that holds the running executable; empty
// when that directory cannot be found, which leaves tracing off.
std::string TraceFilePathBesideExecutable();

}  // namespace vornask
