#include "diag/trace_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <system_error>
#include <utility>

namespace vornask {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

[[noreturn]] void ThrowErrno(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

// Closes the descriptor on every path out of a line write.
class FileDescriptor {
 public:
  explicit FileDescriptor(int fd) : fd_(fd) {}
  FileDescriptor(const FileDescriptor&) = delete;
  FileDescriptor& operator=(const FileDescriptor&) = delete;
  ~FileDescriptor() {
    if (fd_ >= 0) ::close(fd_);
  }
  int get() const { return fd_; }
  // Closes now so that a failing close is reported rather than lost.
  int Close() {
    int result = ::close(std::exchange(fd_, -1));
    return result;
  }

 private:
  int fd_;
};

}  // namespace

TraceLog::TraceLog(std::string path, Env& env) : path_(std::move(path)), env_(env) {}

bool TraceLog::DebugFileExists() const {
  struct stat info {};
  return ::lstat(path_.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void TraceLog::WriteTraceHeader() {
  AppendText([this] { return std::string(kLineEnd) + env_.LocalTimestamp() + " Start" + std::string(kLineEnd); });
}

void TraceLog::AppendDebugLine(std::string_view message) {
  AppendDebugLine([message] { return std::string(message); });
}

void TraceLog::AppendDebugLine(const std::function<std::string()>& compose_message) {
  AppendText([&] {
    std::string line = env_.LocalTimestamp();
    line += compose_message();
    line += kLineEnd;
    return line;
  });
}

void TraceLog::AppendText(const std::function<std::string()>& compose_text) {
  // O_NONBLOCK: a FIFO put in the file's place must fail the line, not hang
  // the run until some reader appears.
  FileDescriptor file(::open(path_.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
  if (file.get() < 0) ThrowErrno(errno, "cannot open trace file " + path_);
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) ThrowErrno(errno, "cannot open trace file " + path_);
  if (!S_ISREG(info.st_mode)) ThrowErrno(EINVAL, "trace file is not a regular file: " + path_);

  const std::string text = compose_text();
  ssize_t written;
  do {
    written = ::write(file.get(), text.data(), text.size());
  } while (written < 0 && errno == EINTR);
  if (written < 0) ThrowErrno(errno, "cannot write trace file " + path_);
  if (static_cast<std::size_t>(written) != text.size()) {
    // A short append means the device (or the file size limit) is full. What
    // did land is a torn line that the next run's first line would complete
    // into garbage, so cut it off again while it is still the file's end.
    const off_t end = ::lseek(file.get(), 0, SEEK_CUR);
    struct stat now {};
    if (end >= written && ::fstat(file.get(), &now) == 0 && now.st_size == end) {
      [[maybe_unused]] const int ignored = ::ftruncate(file.get(), end - written);
    }
    ThrowErrno(ENOSPC, "cannot write trace file " + path_);
  }
  if (file.Close() != 0) ThrowErrno(errno, "cannot close trace file " + path_);
}

std::string TraceFilePathBesideExecutable() {
  std::error_code error;
  std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  // Without /proc there is no directory to look in, and so no trace file:
  // the probe still probes, untraced.
  if (error) return {};
  return (exe.parent_path() / "tcpdebug.txt").string();
}

}  // namespace vornask
