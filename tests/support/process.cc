#include "support/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <stdexcept>
#include <thread>
#include <utility>

#include "support/temp_dir.h"

namespace vornask::testing {
namespace fs = std::filesystem;

namespace {

// Moves whatever the child has written so far from `fd` to `text`.
void Drain(int fd, std::string& text) {
  if (fd < 0) return;
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

StartedProcess::StartedProcess(const fs::path& program, const std::vector<std::string>& arguments, ProcessLimits limits)
    : program_(program) {
  std::vector<char*> argv;
  std::string program_text = program.string();
  std::vector<std::string> owned(arguments);
  argv.push_back(program_text.data());
  for (std::string& argument : owned) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // Pipes rather than files, so that a file size limit given to the child
  // does not also silence its standard error.
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");
  if (pipe2(err_pipe, O_CLOEXEC) != 0) {
    ::close(out_pipe[0]);
    ::close(out_pipe[1]);
    throw std::runtime_error("pipe failed");
  }

  start_ = std::chrono::steady_clock::now();
  pid_ = fork();
  if (pid_ < 0) {
    for (int fd : {out_pipe[0], out_pipe[1], err_pipe[0], err_pipe[1]}) ::close(fd);
    throw std::runtime_error("fork failed");
  }
  if (pid_ == 0) {
    if (dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0) _exit(127);
    // The probe starts with standard input, output and error alone, as from
    // a shell: descriptors of the test (listeners, files) are not its own.
    close_range(3, ~0U, 0);
    if (limits.file_size_bytes >= 0) {
      // SIGXFSZ keeps its default action (ending the process): the probe
      // itself must ignore it so that the write fails and is reported.
      signal(SIGXFSZ, SIG_DFL);
      const rlimit limit{static_cast<rlim_t>(limits.file_size_bytes), static_cast<rlim_t>(limits.file_size_bytes)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    if (limits.open_files >= 0) {
      const rlimit limit{static_cast<rlim_t>(limits.open_files), static_cast<rlim_t>(limits.open_files)};
      setrlimit(RLIMIT_NOFILE, &limit);
    }
    // The probe must ignore SIGPIPE itself; give it the default action.
    signal(SIGPIPE, SIG_DFL);
    if (limits.stack_bytes >= 0) {
      const rlimit limit{static_cast<rlim_t>(limits.stack_bytes), static_cast<rlim_t>(limits.stack_bytes)};
      if (setrlimit(RLIMIT_STACK, &limit) != 0) _exit(127);
    }
    execv(program_text.c_str(), argv.data());
    _exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  out_ = out_pipe[0];
  err_ = err_pipe[0];
  if (limits.stderr_unread) ::close(std::exchange(err_, -1));
  fcntl(out_, F_SETFL, O_NONBLOCK);
  fcntl(err_, F_SETFL, O_NONBLOCK);
}

StartedProcess::StartedProcess(StartedProcess&& other) noexcept
    : program_(std::move(other.program_)),
      pid_(std::exchange(other.pid_, -1)),
      out_(std::exchange(other.out_, -1)),
      err_(std::exchange(other.err_, -1)),
      start_(other.start_) {}

StartedProcess::~StartedProcess() {
  if (pid_ > 0) {
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  if (out_ >= 0) ::close(out_);
  if (err_ >= 0) ::close(err_);
}

ProcessResult StartedProcess::Wait(std::chrono::seconds bound) {
  if (pid_ <= 0) throw std::logic_error("process already collected");
  ProcessResult result;
  int wait_status = 0;
  while (true) {
    Drain(out_, result.out);
    Drain(err_, result.err);
    const pid_t done = waitpid(pid_, &wait_status, WNOHANG);
    if (done == pid_) break;
    if (std::chrono::steady_clock::now() - start_ > bound) {
      kill(pid_, SIGKILL);
      waitpid(pid_, &wait_status, 0);
      ADD_FAILURE() << program_ << " still running after " << bound.count() << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  pid_ = -1;
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start_);
  Drain(out_, result.out);
  Drain(err_, result.err);
  ::close(std::exchange(out_, -1));
  if (err_ >= 0) ::close(std::exchange(err_, -1));
  if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  if (WIFSIGNALED(wait_status)) result.signal = WTERMSIG(wait_status);
  return result;
}

ProcessResult RunProcess(const fs::path& program, const std::vector<std::string>& arguments, std::chrono::seconds bound,
                         ProcessLimits limits) {
  return StartedProcess(program, arguments, limits).Wait(bound);
}

const std::vector<std::string>& ProbeEmulator() {
#ifdef VORNASK_EMULATOR
  static const std::vector<std::string> emulator{VORNASK_EMULATOR};
#else
  static const std::vector<std::string> emulator;
#endif
  return emulator;
}

ProbeCopy::ProbeCopy(const fs::path& dir) : binary_(dir / "vornask") { fs::copy_file(VORNASK_BINARY, binary_); }

std::vector<std::string> ProbeCopy::Command(const std::vector<std::string>& arguments) const {
  std::vector<std::string> command(ProbeEmulator());
  command.push_back(binary_.string());
  command.insert(command.end(), arguments.begin(), arguments.end());
  return command;
}

StartedProcess ProbeCopy::Start(const std::vector<std::string>& arguments, ProcessLimits limits) const {
  const std::vector<std::string> command = Command(arguments);
  return StartedProcess(command.front(), std::vector<std::string>(command.begin() + 1, command.end()), limits);
}

void ProbeCopy::EnableTrace() const { WriteFile(trace(), ""); }

bool StartsWithTimestamp(std::string_view text) {
  constexpr std::string_view kShape = "dddd-dd-dd dd:dd:dd";
  static_assert(kShape.size() == kTimestampBytes);
  if (text.size() < kShape.size()) return false;
  for (std::size_t i = 0; i < kShape.size(); ++i) {
    const bool fits = kShape[i] == 'd' ? (text[i] >= '0' && text[i] <= '9') : text[i] == kShape[i];
    if (!fits) return false;
  }
  return true;
}

std::vector<std::string> ProbeCopy::TraceMessagesOf(const fs::path& file) {
  std::vector<std::string> messages;
  for (const std::string& line : ReadCrLfLines(file)) {
    if (line.empty()) {
      messages.push_back(line);
      continue;
    }
    EXPECT_TRUE(StartsWithTimestamp(line)) << "no timestamp: " << line;
    messages.push_back(line.size() >= kTimestampBytes ? line.substr(kTimestampBytes) : line);
  }
  return messages;
}

}  // namespace vornask::testing
