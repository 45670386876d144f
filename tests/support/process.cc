#include "support/process.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <regex>
#include <stdexcept>
#include <thread>

#include "support/temp_dir.h"

namespace vornask::testing {
namespace fs = std::filesystem;

namespace {

// Moves whatever the child has written so far from `fd` to `text`.
void Drain(int fd, std::string& text) {
  char buffer[4096];
  ssize_t n;
  while ((n = ::read(fd, buffer, sizeof buffer)) > 0) text.append(buffer, static_cast<std::size_t>(n));
}

}  // namespace

ProcessResult RunProcess(const fs::path& program, const std::vector<std::string>& arguments, std::chrono::seconds bound,
                         ProcessLimits limits) {
  std::vector<char*> argv;
  std::string program_text = program.string();
  std::vector<std::string> owned(arguments);
  argv.push_back(program_text.data());
  for (std::string& argument : owned) argv.push_back(argument.data());
  argv.push_back(nullptr);

  // Pipes rather than files, so that a file size limit given to the child
  // does not also silence its standard error.
  int out_pipe[2], err_pipe[2];
  if (pipe2(out_pipe, O_CLOEXEC) != 0 || pipe2(err_pipe, O_CLOEXEC) != 0) throw std::runtime_error("pipe failed");

  const auto start = std::chrono::steady_clock::now();
  const pid_t child = fork();
  if (child < 0) throw std::runtime_error("fork failed");
  if (child == 0) {
    if (dup2(out_pipe[1], 1) < 0 || dup2(err_pipe[1], 2) < 0) _exit(127);
    if (limits.file_size_bytes >= 0) {
      // A write beyond the limit then fails with EFBIG instead of a signal.
      signal(SIGXFSZ, SIG_IGN);
      const rlimit limit{static_cast<rlim_t>(limits.file_size_bytes), static_cast<rlim_t>(limits.file_size_bytes)};
      setrlimit(RLIMIT_FSIZE, &limit);
    }
    execv(program_text.c_str(), argv.data());
    _exit(127);
  }
  ::close(out_pipe[1]);
  ::close(err_pipe[1]);
  fcntl(out_pipe[0], F_SETFL, O_NONBLOCK);
  fcntl(err_pipe[0], F_SETFL, O_NONBLOCK);

  ProcessResult result;
  int wait_status = 0;
  while (true) {
    Drain(out_pipe[0], result.out);
    Drain(err_pipe[0], result.err);
    const pid_t done = waitpid(child, &wait_status, WNOHANG);
    if (done == child) break;
    if (std::chrono::steady_clock::now() - start > bound) {
      kill(child, SIGKILL);
      waitpid(child, &wait_status, 0);
      ADD_FAILURE() << program << " still running after " << bound.count() << " s";
      break;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  result.elapsed = std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start);
  Drain(out_pipe[0], result.out);
  Drain(err_pipe[0], result.err);
  ::close(out_pipe[0]);
  ::close(err_pipe[0]);
  if (WIFEXITED(wait_status)) result.status = WEXITSTATUS(wait_status);
  return result;
}

ProbeCopy::ProbeCopy(const fs::path& dir) : binary_(dir / "vornask") {
  fs::copy_file(VORNASK_BINARY, binary_);
}

void ProbeCopy::EnableTrace() const { WriteFile(trace(), ""); }

std::vector<std::string> ProbeCopy::TraceMessages() const {
  static const std::regex kStamp(R"(^\d{4}-\d{2}-\d{2} \d{2}:\d{2}:\d{2})");
  std::vector<std::string> messages;
  for (const std::string& line : ReadCrLfLines(trace())) {
    if (line.empty()) {
      messages.push_back(line);
      continue;
    }
    EXPECT_TRUE(std::regex_search(line, kStamp)) << "no timestamp: " << line;
    messages.push_back(line.size() >= 19 ? line.substr(19) : line);
  }
  return messages;
}

}  // namespace vornask::testing
