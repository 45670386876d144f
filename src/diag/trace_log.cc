#include "diag/trace_log.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <filesystem>
#include <utility>

#include "diag/caret_notation.h"

namespace vornask {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

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
  int Close() { return ::close(std::exchange(fd_, -1)); }

 private:
  int fd_;
};

// A file that another name also reaches could be someone else's file that a
// hard link brought here; it counts as no trace file at all.
bool IsOwnRegularFile(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }

}  // namespace

TraceLog::TraceLog(const std::string& directory, Env& env)
    : path_((std::filesystem::path(directory) / kTraceFileName).string()), env_(env) {
  if (!directory.empty()) directory_fd_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

TraceLog::~TraceLog() {
  if (directory_fd_ >= 0) ::close(directory_fd_);
}

bool TraceLog::DebugFileExists() const {
  if (directory_fd_ < 0) return false;
  struct stat info {};
  return ::fstatat(directory_fd_, kTraceFileName, &info, AT_SYMLINK_NOFOLLOW) == 0 && IsOwnRegularFile(info);
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
    line += CaretNotation(compose_message());
    line += kLineEnd;
    return line;
  });
}

void TraceLog::FailWrite(int error, const std::string& what) {
  write_failure_.emplace(error, std::generic_category(), what + " " + path_);
  throw *write_failure_;
}

void TraceLog::AppendText(const std::function<std::string()>& compose_text) {
  // After a failed write the trace already misses a line: a later, shorter
  // line (a handler's own) must not follow it as if nothing had happened.
  if (write_failure_) throw *write_failure_;
  if (directory_fd_ < 0) FailWrite(ENOENT, "cannot open trace file");

  // O_NONBLOCK: a FIFO put in the file's place must fail the line, not hang
  // the run until some reader appears.
  FileDescriptor file(::openat(directory_fd_, kTraceFileName,
                               O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644));
  if (file.get() < 0) FailWrite(errno, "cannot open trace file");
  struct stat info {};
  if (::fstat(file.get(), &info) != 0) FailWrite(errno, "cannot open trace file");
  if (!S_ISREG(info.st_mode)) FailWrite(EINVAL, "not a regular file:");
  if (info.st_nlink != 1) FailWrite(EMLINK, "more than one link to trace file");

  const std::string text = compose_text();
  std::size_t done = 0;
  int cause = 0;
  while (done < text.size()) {
    const ssize_t written = ::write(file.get(), text.data() + done, text.size() - done);
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) {
      // A short write says only that something is full; the failing write
      // of the rest says what (ENOSPC for the disk, EFBIG for a size limit).
      cause = written < 0 ? errno : EIO;
      break;
    }
    done += static_cast<std::size_t>(written);
  }
  if (cause != 0) {
    // What did land is a torn line that the next run's first line would
    // complete into garbage, so cut it off again while it is still the
    // file's end.
    const off_t end = ::lseek(file.get(), 0, SEEK_CUR);
    struct stat now {};
    if (done > 0 && end >= static_cast<off_t>(done) && ::fstat(file.get(), &now) == 0 && now.st_size == end) {
      [[maybe_unused]] const int ignored = ::ftruncate(file.get(), end - static_cast<off_t>(done));
    }
    FailWrite(cause, "cannot write trace file");
  }
  if (file.Close() != 0) FailWrite(errno, "cannot close trace file");
}

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  // Without /proc there is no directory to look in, and so no trace file:
  // the probe still probes, untraced.
  if (error) return {};
  return exe.parent_path().string();
}

}  // namespace vornask
