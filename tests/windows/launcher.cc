// Starts a program with a command line given byte for byte, as a Windows
// caller would: wine, run from Linux, rebuilds every command line from an
// argument vector, so only a Windows parent can hand over text that no
// argument vector produces (a tab after the program name, trailing blanks,
// a name quoted differently). Used by the Linux end-to-end tests only.
//
//   vornask_launcher PROGRAM COMMAND_LINE_FILE
//
// The file holds the command line in UTF-8, without a line end of its own.
// The launcher waits for the program and ends with its exit code; a failure
// of its own is told on standard error with exit code 2, which the probe
// never gives.
#include <windows.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

namespace {

constexpr int kLauncherFailed = 2;

int Fail(const wchar_t* what) {
  std::fwprintf(stderr, L"vornask_launcher: %ls (error %lu)\n", what, GetLastError());
  return kLauncherFailed;
}

bool ReadBytes(const wchar_t* path, std::string& bytes) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::ostringstream text;
  text << in.rdbuf();
  bytes = text.str();
  return true;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc != 3) {
    std::fputws(L"usage: vornask_launcher PROGRAM COMMAND_LINE_FILE\n", stderr);
    return kLauncherFailed;
  }
  std::string bytes;
  if (!ReadBytes(argv[2], bytes)) return Fail(L"cannot read the command line file");
  // CreateProcessW may write into the command line, so it gets a buffer of
  // its own, terminated.
  std::wstring command_line;
  if (!bytes.empty()) {
    const int size =
        MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (size == 0) return Fail(L"the command line file is not UTF-8");
    command_line.resize(static_cast<std::size_t>(size));
    MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()),
                        command_line.data(), size);
  }
  command_line.push_back(L'\0');

  // The program's standard handles are the launcher's, so that what a
  // program of the GUI subsystem writes to them still reaches the test.
  STARTUPINFOW startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  startup.hStdOutput = GetStdHandle(STD_OUTPUT_HANDLE);
  startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  PROCESS_INFORMATION process{};
  // With the program named apart, the command line is passed on unread.
  if (!CreateProcessW(argv[1], command_line.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
    return Fail(L"cannot start the program");
  }
  CloseHandle(process.hThread);
  WaitForSingleObject(process.hProcess, INFINITE);
  DWORD code = 0;
  const BOOL got_code = GetExitCodeProcess(process.hProcess, &code);
  CloseHandle(process.hProcess);
  if (!got_code) return Fail(L"cannot read the program's exit code");
  return static_cast<int>(code);
}
