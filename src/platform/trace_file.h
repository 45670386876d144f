// The trace file's place on disk: the directory that holds it, opened once
// at the start, the file's existence test, and appends of whole lines.
// Only a regular file with a single name counts: a link, a directory, a
// FIFO or a file that another name also reaches is never written through.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace vornask {

inline constexpr const char* kTraceFileName = "tcpdebug.txt";

// One opening of the trace file, positioned at its end.
class TraceAppend {
 public:
  explicit TraceAppend(std::intptr_t handle, std::string path) : handle_(handle), path_(std::move(path)) {}
  TraceAppend(TraceAppend&& other) noexcept;
  TraceAppend& operator=(TraceAppend&&) = delete;
  TraceAppend(const TraceAppend&) = delete;
  TraceAppend& operator=(const TraceAppend&) = delete;
  // Closes silently; Close reports.
  ~TraceAppend();

  // Appends `text` (UTF-8; stored in the file's own encoding) in a single
  // write, so that runs sharing the file never tear a line. On failure what
  // did land is cut off again and std::system_error names the cause.
  void Write(std::string_view text);
  // Throws std::system_error when closing fails.
  void Close();

 private:
  std::intptr_t handle_;
  std::string path_;
};

class TraceDirectory {
 public:
  // `directory` as ExecutableDirectory gives it. Renaming or replacing it
  // during the run cannot send the trace anywhere else. A directory that
  // cannot be opened (or an empty name) holds no trace file.
  explicit TraceDirectory(const std::string& directory);
  ~TraceDirectory();
  TraceDirectory(const TraceDirectory&) = delete;
  TraceDirectory& operator=(const TraceDirectory&) = delete;

  // True when the trace file exists and counts (see above).
  bool TraceFileExists() const;
  // Opens the trace file for appending, creating it when it is gone, and
  // checks that it counts. Throws std::system_error.
  TraceAppend OpenForAppend();

 private:
  std::intptr_t handle_;
  std::string path_;
};

}  // namespace vornask
