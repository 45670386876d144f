// Runs the built probe as a child process and collects what it leaves.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace vornask::testing {

// "host:port" as a target argument, and "host on port port" as trace lines show it.
inline std::string Target(const std::string& host, std::uint16_t port) { return host + ":" + std::to_string(port); }
inline std::string OnPort(const std::string& host, std::uint16_t port) {
  return host + " on port " + std::to_string(port);
}

// Whether the probe (and these tests) were built with AddressSanitizer and
// UndefinedBehaviorSanitizer.
#ifdef VORNASK_SANITIZER_BUILD
inline constexpr bool kSanitizerBuild = true;
#else
inline constexpr bool kSanitizerBuild = false;
#endif

// The command before the probe's own that runs it on this machine: in a
// cross build, the emulator the tests themselves run under; empty otherwise.
const std::vector<std::string>& ProbeEmulator();

// What the emulator adds to every start of the probe, for the upper bounds
// on a run's wall time: it starts the program and translates its code more
// slowly, but waits the same. Measured on two busy cores, qemu-user starts
// the arm64 probe in 56 to 225 ms (126 ms on average), the native one in 6 ms.
#ifdef VORNASK_EMULATOR
inline constexpr std::chrono::milliseconds kStartUpAllowance{250};
#else
inline constexpr std::chrono::milliseconds kStartUpAllowance{0};
#endif

struct ProcessResult {
  int status = -1;  // exit status, or -1 when ended by a signal or not ended
  int signal = 0;   // the signal that ended it, if one did
  std::chrono::milliseconds elapsed{0};
  std::string out;
  std::string err;
};

struct ProcessLimits {
  long file_size_bytes = -1;  // RLIMIT_FSIZE for the child; -1 leaves it
  long open_files = -1;       // RLIMIT_NOFILE for the child; -1 leaves it
  // The child's standard error is a pipe whose reading end is already
  // closed, as when the caller's reader has gone away.
  bool stderr_unread = false;
  long stack_bytes = -1;  // RLIMIT_STACK for the child; -1 leaves it
};

// A child started without waiting for it, for tests that act while it runs.
// Dropped before Wait, it is killed and reaped, so no test leaves one behind.
class StartedProcess {
 public:
  StartedProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                 ProcessLimits limits = {});
  ~StartedProcess();
  StartedProcess(StartedProcess&& other) noexcept;
  StartedProcess& operator=(StartedProcess&&) = delete;
  StartedProcess(const StartedProcess&) = delete;
  StartedProcess& operator=(const StartedProcess&) = delete;

  // Waits until the child ends, at most `bound` after it was started (then
  // kills it and records a test failure); the wall time counts from the start.
  ProcessResult Wait(std::chrono::seconds bound);

 private:
  std::filesystem::path program_;
  pid_t pid_ = -1;
  int out_ = -1;
  int err_ = -1;
  std::chrono::steady_clock::time_point start_;
};

// Starts `program` with `arguments`, waits at most `bound` (then kills it)
// and returns its status, wall time and output.
ProcessResult RunProcess(const std::filesystem::path& program, const std::vector<std::string>& arguments,
                         std::chrono::seconds bound, ProcessLimits limits = {});

// The trace's "YYYY-MM-DD HH:MM:SS" that starts every non-empty line.
inline constexpr std::size_t kTimestampBytes = 19;
bool StartsWithTimestamp(std::string_view text);

// A copy of the built probe alone in a fresh directory, so that a trace file
// beside it belongs to one test.
class ProbeCopy {
 public:
  explicit ProbeCopy(const std::filesystem::path& dir);
  const std::filesystem::path& binary() const { return binary_; }
  std::filesystem::path trace() const { return binary_.parent_path() / "tcpdebug.txt"; }
  void EnableTrace() const;
  // The probe's command line with `arguments`, the emulator's words first
  // where it needs one.
  std::vector<std::string> Command(const std::vector<std::string>& arguments) const;
  ProcessResult Run(const std::vector<std::string>& arguments, std::chrono::seconds bound = std::chrono::seconds(60),
                    ProcessLimits limits = {}) const {
    return Start(arguments, limits).Wait(bound);
  }
  StartedProcess Start(const std::vector<std::string>& arguments, ProcessLimits limits = {}) const;
  // The trace's lines with their timestamps checked and taken off; the
  // empty line that opens a run stays empty.
  std::vector<std::string> TraceMessages() const { return TraceMessagesOf(trace()); }
  static std::vector<std::string> TraceMessagesOf(const std::filesystem::path& file);

 private:
  std::filesystem::path binary_;
};

}  // namespace vornask::testing
