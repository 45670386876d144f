#include <windows.h>
// After windows.h, which it builds on.
#include <winternl.h>

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

constexpr ULONG kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

// What decides whether a file counts, asked of the open file alone (never
// of its name, which may lead elsewhere by now).
struct FileFacts {
  FILE_BASIC_INFO basic{};
  FILE_STANDARD_INFO standard{};
};

bool ReadFacts(HANDLE file, FileFacts& facts) {
  return GetFileInformationByHandleEx(file, FileBasicInfo, &facts.basic, sizeof facts.basic) &&
         GetFileInformationByHandleEx(file, FileStandardInfo, &facts.standard, sizeof facts.standard);
}

// A reparse point (a symbolic link, a junction), a directory or a file that
// another name also reaches is never the trace file: writing through it
// could reach someone else's file. Hidden and system files do count: those
// marks say how a file is listed, not whose it is.
bool Counts(const FileFacts& facts) {
  return (facts.basic.FileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) == 0 &&
         !facts.standard.Directory && facts.standard.NumberOfLinks == 1;
}

// A handle, or the system's error code.
struct Opened {
  HANDLE file = INVALID_HANDLE_VALUE;
  DWORD error = ERROR_SUCCESS;
};

// The trace file's name looked up in the held directory itself, as openat
// does, so that no rename or replacement of the directory's path (or of any
// directory above it) can send the open anywhere else. A reparse point in
// the name's place is opened itself, never followed.
Opened OpenInDirectory(std::intptr_t directory, ACCESS_MASK access, ULONG disposition) {
  static const std::wstring kName = WideFromUtf8(kTraceFileName);
  UNICODE_STRING name{};
  name.Buffer = const_cast<wchar_t*>(kName.c_str());
  name.Length = static_cast<USHORT>(kName.size() * sizeof(wchar_t));
  name.MaximumLength = name.Length;
  OBJECT_ATTRIBUTES attributes{};
  InitializeObjectAttributes(&attributes, &name, OBJ_CASE_INSENSITIVE, Handle(directory), nullptr);
  IO_STATUS_BLOCK status{};
  HANDLE file = nullptr;
  const NTSTATUS result =
      NtCreateFile(&file, access | SYNCHRONIZE | FILE_READ_ATTRIBUTES, &attributes, &status, nullptr,
                   FILE_ATTRIBUTE_NORMAL, kShareAll, disposition,
                   FILE_OPEN_REPARSE_POINT | FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT, nullptr, 0);
  if (result < 0) return {INVALID_HANDLE_VALUE, RtlNtStatusToDosError(result)};
  return {file, ERROR_SUCCESS};
}

// Cuts the torn tail of a failed write off again while it is still the
// file's end: `ours` bytes of it, ending at the handle's position. Another
// run's line appended after ours changes the size, and the tail is left.
// (One that lands between the check and the cut would lose its line; that
// takes a second run writing within microseconds of a full disk, and
// without the cut every later run would start torn.)
void CutTornTail(HANDLE file, std::size_t ours) {
  LARGE_INTEGER end{};
  LARGE_INTEGER size{};
  if (!SetFilePointerEx(file, LARGE_INTEGER{}, &end, FILE_CURRENT) || !GetFileSizeEx(file, &size)) return;
  const LONGLONG start = end.QuadPart - static_cast<LONGLONG>(ours);
  if (start < 0 || size.QuadPart != end.QuadPart) return;
  // The append handle cannot shorten the file, and giving it write access
  // would let its writes land at its own position instead of the end. A
  // second handle to the same open file (not to its name, which may lead
  // elsewhere by now) cuts the tail and is closed at once.
  const HANDLE cutter = ReOpenFile(file, FILE_WRITE_DATA, kShareAll, 0);
  if (cutter == INVALID_HANDLE_VALUE) return;
  FILE_END_OF_FILE_INFO shorter{};
  shorter.EndOfFile.QuadPart = start;
  SetFileInformationByHandle(cutter, FileEndOfFileInfo, &shorter, sizeof shorter);
  CloseHandle(cutter);
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
  const HANDLE file = Handle(handle_);
  std::size_t done = 0;
  DWORD cause = ERROR_SUCCESS;
  while (done < bytes.size()) {
    DWORD written = 0;
    if (!WriteFile(file, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written, nullptr)) {
      // A short write says only that something is full; the failing write
      // of the rest says what.
      cause = GetLastError();
      break;
    }
    if (written == 0) {
      cause = ERROR_WRITE_FAULT;
      break;
    }
    done += written;
  }
  if (cause == ERROR_SUCCESS) return;
  // What did land is a torn line that the next run's CR LF would complete
  // into a line of garbage.
  if (done > 0) CutTornTail(file, done);
  Fail(cause, "cannot write trace file " + path_);
}

void TraceAppend::Close() {
  if (!CloseHandle(Handle(std::exchange(handle_, kNoHandle)))) Fail(GetLastError(), "cannot close trace file " + path_);
}

TraceDirectory::TraceDirectory(const std::string& directory)
    : handle_(kNoHandle), path_(directory.empty() ? std::string() : directory + "\\" + kTraceFileName) {
  if (directory.empty()) return;
  // The trace file is looked up in this handle (which takes traverse and
  // list access). Held without sharing delete access, and with access that
  // takes part in sharing, the directory can be neither renamed nor removed
  // while the run lasts.
  constexpr DWORD kAccess = FILE_TRAVERSE | FILE_LIST_DIRECTORY | FILE_READ_ATTRIBUTES | SYNCHRONIZE;
  const HANDLE held = CreateFileW(WideFromUtf8(directory).c_str(), kAccess, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                                  OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
  if (held != INVALID_HANDLE_VALUE) handle_ = reinterpret_cast<std::intptr_t>(held);
}

TraceDirectory::~TraceDirectory() {
  if (handle_ != kNoHandle) CloseHandle(Handle(handle_));
}

bool TraceDirectory::TraceFileExists() const {
  if (handle_ == kNoHandle) return false;
  const Opened opened = OpenInDirectory(handle_, 0, FILE_OPEN);
  if (opened.file == INVALID_HANDLE_VALUE) return false;
  FileFacts facts;
  const bool counts = ReadFacts(opened.file, facts) && Counts(facts);
  CloseHandle(opened.file);
  return counts;
}

TraceAppend TraceDirectory::OpenForAppend() {
  if (handle_ == kNoHandle) {
    Fail(ERROR_PATH_NOT_FOUND, path_.empty() ? "cannot open trace file" : "cannot open trace file " + path_);
  }
  // Append access without write access: every write lands at the end of
  // the file as one piece, whatever other runs append at the same time.
  const Opened opened = OpenInDirectory(handle_, FILE_APPEND_DATA, FILE_OPEN_IF);
  if (opened.file == INVALID_HANDLE_VALUE) Fail(opened.error, "cannot open trace file " + path_);
  TraceAppend append(reinterpret_cast<std::intptr_t>(opened.file), path_);
  FileFacts facts;
  if (!ReadFacts(opened.file, facts)) Fail(GetLastError(), "cannot open trace file " + path_);
  if (!Counts(facts)) Fail(ERROR_INVALID_FUNCTION, "not a regular file with a single name: " + path_);
  return append;
}

}  // namespace vornask
