#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <utility>

#include "platform/trace_file.h"
#include "platform/write_all_posix.h"

namespace vornask {
namespace {

[[noreturn]] void Fail(int error, const std::string& what) {
  throw std::system_error(error, std::generic_category(), what);
}

// A file that another name also reaches could be someone else's file that a
// hard link brought here; it counts as no trace file at all.
bool Counts(const struct stat& info) { return S_ISREG(info.st_mode) && info.st_nlink == 1; }

int Fd(std::intptr_t handle) { return static_cast<int>(handle); }

}  // namespace

TraceAppend::TraceAppend(TraceAppend&& other) noexcept
    : handle_(std::exchange(other.handle_, -1)), path_(std::move(other.path_)) {}

TraceAppend::~TraceAppend() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

void TraceAppend::Write(std::string_view text) {
  const int fd = Fd(handle_);
  // A short write says only that something is full; the failing write of
  // the rest says what (ENOSPC for the disk, EFBIG for a size limit).
  iovec whole{const_cast<char*>(text.data()), text.size()};
  const auto [done, cause] = WriteAll(fd, {&whole, 1});
  if (cause == 0) return;
  // What did land is a torn line that the next run's first line would
  // complete into garbage, so cut it off again while it is still the file's
  // end. (Another run appending between the check and the cut would lose
  // its line; that takes a second run writing within microseconds of a
  // full disk, and without the cut every later run would start torn.)
  const off_t end = ::lseek(fd, 0, SEEK_CUR);
  struct stat now {};
  if (done > 0 && end >= static_cast<off_t>(done) && ::fstat(fd, &now) == 0 && now.st_size == end) {
    [[maybe_unused]] const int ignored = ::ftruncate(fd, end - static_cast<off_t>(done));
  }
  Fail(cause, "cannot write trace file " + path_);
}

void TraceAppend::Close() {
  if (::close(Fd(std::exchange(handle_, -1))) != 0) Fail(errno, "cannot close trace file " + path_);
}

TraceDirectory::TraceDirectory(const std::string& directory) : handle_(-1), path_(directory + "/" + kTraceFileName) {
  if (!directory.empty()) handle_ = ::open(directory.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
}

TraceDirectory::~TraceDirectory() {
  if (handle_ >= 0) ::close(Fd(handle_));
}

bool TraceDirectory::TraceFileExists() const {
  if (handle_ < 0) return false;
  struct stat info {};
  return ::fstatat(Fd(handle_), kTraceFileName, &info, AT_SYMLINK_NOFOLLOW) == 0 && Counts(info);
}

TraceAppend TraceDirectory::OpenForAppend() {
  if (handle_ < 0) Fail(ENOENT, "cannot open trace file " + path_);
  // O_NONBLOCK: a FIFO put in the file's place must fail the line, not hang
  // the run until some reader appears.
  const int fd =
      ::openat(Fd(handle_), kTraceFileName, O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NONBLOCK, 0644);
  if (fd < 0) Fail(errno, "cannot open trace file " + path_);
  TraceAppend file(fd, path_);
  struct stat info {};
  if (::fstat(fd, &info) != 0) Fail(errno, "cannot open trace file " + path_);
  if (!S_ISREG(info.st_mode)) Fail(EINVAL, "not a regular file: " + path_);
  if (info.st_nlink != 1) Fail(EMLINK, "more than one link to trace file " + path_);
  return file;
}

}  // namespace vornask
