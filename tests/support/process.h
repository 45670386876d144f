// Runs the built probe as a child process and collects what it leaves.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

namespace vornask::testing {

struct ProcessResult {
  int status = -1;  // exit status, or -1 when ended by a signal or not ended
  std::chrono::milliseconds elapsed{0};
  std::string out;
  std::string err;
};

struct ProcessLimits {
  long file_size_bytes = -1;  // RLIMIT_FSIZE for the child; -1 leaves it
};

// Starts `program` with `arguments`, waits at most `bound` (then kills it)
// and returns its status, wall time and output.
ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         std::chrono::seconds bound, ProcessLimits limits = {});

// A copy of the built probe alone in a fresh directory, so that a trace file
// beside it belongs to one test.
class ProbeCopy {
 public:
  explicit ProbeCopy(const std::filesystem::path& dir);
  const std::filesystem::path& binary() const { return binary_; }
  std::filesystem::path trace() const { return binary_.parent_path() / "tcpdebug.txt"; }
  void EnableTrace() const;
  ProcessResult Run(const std::vector<std::string>& arguments, std::chrono::seconds bound = std::chrono::seconds(60),
                    ProcessLimits limits = {}) const {
    return RunProcess(binary_, arguments, bound, limits);
  }
  // The trace's lines with their timestamps checked and taken off; the
  // empty line that opens a run stays empty.
  std::vector<std::string> TraceMessages() const;

 private:
  std::filesystem::path binary_;
};

}  // namespace vornask::testing
