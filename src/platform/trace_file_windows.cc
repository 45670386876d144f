#include <windows.h>

#include <system_error>
#include <utility>

#include "platform/trace_file.h"
#include "platform/windows_text.h"

namespace vornask {
namespace {

[[noreturn]] void Fail(DWORD error, const std::string& what) {
  throw std::system_error(static_cast<int>(error), std::system_category(), what);
}

HANDLE Handle(std::intptr_t handle) { return reinterpret_cast<HANDLE>(handle); }

constexpr std::intptr_t kNoHandle = -1;

// A reparse point (a symbolic link, a junction) or a file that another name
// also reaches is never the trace file: writing through it could reach
// someone else's file.
bool Counts(const BY_HANDLE_FILE_INFORMATION& info) {
  return (info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         info.nNumberOfLinks == 1;
}

}  // namespace

TraceAppend::TraceAppend(TraceAppend&& other) noexcept
    : handle_(std::exchange(other.handle_, kNoHandle)), path_(std::move(other.path_)) {}

TraceAppend::~TraceAppend() {
  if (handle_ != kNoHandle) CloseHandle(Handle(handle_));
}

void TraceAppend::Write(std::string_view text) {
  // The file is in the ANSI code page, as the system's classic tools and
  // any trace file written before expect.
  const std::string bytes = AnsiFromUtf8(text);
  DWORD written = 0;
  if (!WriteFile(Handle(handle_), bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr)) {
    Fail(GetLastError(), "cannot write trace file " + path_);
  }
  if (written != bytes.size()) Fail(ERROR_DISK_FULL, "cannot write trace file " + path_);
}

void TraceAppend::Close() {
  if (!CloseHandle(Handle(std::exchange(handle_, kNoHandle)))) Fail(GetLastError(), "cannot close trace file " + path_);
}

TraceDirectory::TraceDirectory(const std::string& directory)
    : handle_(kNoHandle), path_(directory.empty() ? std::string() : directory + "\\" + kTraceFileName) {
  if (directory.empty()) return;
  // Held open without sharing delete access, the directory can be neither
  // renamed nor removed while the run lasts, so the trace cannot be sent
  // anywhere else by putting another directory or a junction in its place.
  const HANDLE held = CreateFileW(WideFromUtf8(directory).c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (held != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(held);
}

TraceDirectory::~TraceDirectory() {
  if (handle_ != kNoHandle) CloseHandle(Handle(handle_));
}

bool TraceDirectory::TraceFileExists() const {
  if (path_.empty()) return false;
  const std::wstring path = WideFromUtf8(path_);
  const DWORD attributes = GetFileAttributesW(path.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  // A file the system marks hidden or system does not switch tracing on.
  constexpr DWORD kExcluded =
      FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM;
  if ((attributes & kExcluded) != 0) return false;
  const HANDLE file = CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                                  FILE_FLAG_OPEN_REPARSE_POINT | FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (file == INVALID_HANDLE_VALUE) return false;
  BY_HANDLE_FILE_INFORMATION info{};
  const bool counts = GetFileInformationByHandle(file, &info) && Counts(info);
  CloseHandle(file);
  return counts;
}

TraceAppend TraceDirectory::OpenForAppend() {
  if (path_.empty()) Fail(ERROR_PATH_NOT_FOUND, "cannot open trace file");
  // FILE_APPEND_DATA alone: every write lands at the end of the file as one
  // piece, whatever other runs append at the same time.
  const HANDLE file = CreateFileW(WideFromUtf8(path_).c_str(), FILE_APPEND_DATA,
                                  FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                                  FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (file == INVALID_HANDLE_VALUE) Fail(GetLastError(), "cannot open trace file " + path_);
  TraceAppend append(reinterpret_cast<std::intptr_t>(file), path_);
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(file, &info)) Fail(GetLastError(), "cannot open trace file " + path_);
  if (!Counts(info)) Fail(ERROR_INVALID_FUNCTION, "not a regular file with a single name: " + path_);
  return append;
}

}  // namespace vornask
