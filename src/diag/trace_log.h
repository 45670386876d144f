// The optional trace file `tcpdebug.txt`. Its presence at start switches
// tracing on; each line is appended with one write on its own opening, so
// runs that share the file never tear or interleave a line.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>

#include "run/env.h"

namespace vornask {

inline constexpr const char* kTraceFileName = "tcpdebug.txt";

class TraceLog {
 public:
  // `directory` is opened once, here: every later test and append works
  // relative to that opening, so renaming or replacing the directory during
  // the run cannot send the trace anywhere else. A directory that cannot be
  // opened (or an empty name) leaves tracing off.
  TraceLog(const std::string& directory, Env& env);
  ~TraceLog();
  TraceLog(const TraceLog&) = delete;
  TraceLog& operator=(const TraceLog&) = delete;

  // True when the file exists as a regular file with a single link (links
  // are not followed).
  bool DebugFileExists() const;

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

  const std::string& path() const { return path_; }

 private:
  void AppendText(const std::function<std::string()>& compose_text);
  [[noreturn]] void FailWrite(int error, const std::string& what);

  int directory_fd_ = -1;
  std::string path_;
  Env& env_;
  std::optional<std::system_error> write_failure_;
};

// The directory that holds the running executable; empty when it cannot be
// found, which leaves tracing off.
std::string ExecutableDirectory();

}  // namespace vornask
