#include "support/wine_probe.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <stdexcept>
#include <utility>

#include "support/temp_dir.h"

namespace vornask::testing {
namespace fs = std::filesystem;
using std::chrono::seconds;

namespace {

constexpr const char* kWine = "/usr/bin/wine";
constexpr const char* kWineboot = "/usr/bin/wineboot";
constexpr const char* kWineserver = "/usr/bin/wineserver";

// The wine server outlives the last program by this long: enough to bridge
// the gaps between the test processes of one ctest run, short enough that
// it does not linger long after the suite (scripts/sealed stops it sooner,
// at the end of its run).
constexpr const char* kServerPersistence = "-p30";

fs::path BuildDir() {
#ifdef VORNASK_WINDOWS_BUILD_DIR
  return VORNASK_WINDOWS_BUILD_DIR;
#else
  return {};
#endif
}

fs::path Prefix() { return BuildDir() / "wineprefix"; }
fs::path Program() { return BuildDir() / "vornask.exe"; }
fs::path Launcher() { return BuildDir() / "vornask_launcher.exe"; }

// The wine server makes the sockets of the programs it runs in the network
// it was started in. Inside scripts/sealed it must be one started in that
// run's network: wine as Debian builds it keeps its server's socket under
// TMPDIR, and the run names a directory of its own for it, which no other
// run can reach.
std::vector<std::string> ServerOfThisNetwork() {
  const char* directory = std::getenv("VORNASK_WINE_TMPDIR");
  if (directory == nullptr || *directory == '\0') return {};
  return {std::string("TMPDIR=") + directory};
}

// `command` (after any "NAME=VALUE" of its own) run with wine's own notes off, in the build's prefix. Mono and
// Gecko are never offered: installing them would want the network.
ProcessResult RunInPrefix(const std::vector<std::string>& command, seconds bound) {
  std::vector<std::string> arguments{"WINEDEBUG=-all", "WINEPREFIX=" + Prefix().string(),
                                     "WINEDLLOVERRIDES=mscoree,mshtml="};
  const std::vector<std::string> server = ServerOfThisNetwork();
  arguments.insert(arguments.end(), server.begin(), server.end());
  arguments.insert(arguments.end(), command.begin(), command.end());
  return RunProcess("/usr/bin/env", arguments, bound);
}

// Held for its life by one process of the machine at a time.
class FileLock {
 public:
  explicit FileLock(const fs::path& path) : fd_(::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644)) {
    if (fd_ < 0 || ::flock(fd_, LOCK_EX) != 0) throw std::runtime_error("cannot lock " + path.string());
  }
  ~FileLock() { ::close(fd_); }
  FileLock(const FileLock&) = delete;
  FileLock& operator=(const FileLock&) = delete;

 private:
  int fd_;
};

[[noreturn]] void Fail(const std::string& what, const ProcessResult& result) {
  throw std::runtime_error(what + " (status " + std::to_string(result.status) + "): " + result.out + result.err);
}

void MakeReady() {
  {
    // wineboot returns before the server has written the registry out, so
    // a marker of its own says the prefix is whole; test processes that
    // start together wait here for the one that creates it.
    const FileLock lock(BuildDir() / "wineprefix.lock");
    const fs::path ready = Prefix() / "vornask-prefix-ready";
    if (!fs::exists(ready)) {
      const ProcessResult boot = RunInPrefix({kWineboot, "-i"}, seconds(180));
      if (boot.status != 0) Fail("wineboot -i failed", boot);
      WriteFile(ready, "");
    }
  }
  // Detached from every pipe of the tests: a server that held a test's
  // output open would keep ctest waiting for it. One already running makes
  // this one give up at once.
  RunInPrefix(
      {"/bin/sh", "-c", std::string("exec ") + kWineserver + " " + kServerPersistence + " </dev/null >/dev/null 2>&1"},
      seconds(30));
  const ProcessResult warm = RunInPrefix({kWine, Program().string(), "--version"}, seconds(120));
  if (warm.status != 0 || warm.out.rfind("vornask ", 0) != 0) Fail("vornask.exe --version failed under wine", warm);
}

}  // namespace

std::string WineUnavailable() {
  if (BuildDir().empty()) return "the Windows program is run by the release build's tests only";
  static const std::string reason = [] {
    for (const fs::path& file : {Program(), Launcher()}) {
      if (!fs::exists(file)) {
        return "no " + file.string() +
               ": cmake --preset windows && cmake --build --preset windows --target vornask vornask_launcher";
      }
    }
    for (const char* tool : {kWine, kWineboot, kWineserver}) {
      if (::access(tool, X_OK) != 0) return std::string("no ") + tool + ": install the Debian packages wine and wine64";
    }
    MakeReady();
    return std::string();
  }();
  return reason;
}

std::string WindowsPath(const fs::path& path) {
  if (!path.is_absolute()) throw std::invalid_argument("not an absolute path: " + path.string());
  std::string text = "Z:" + path.string();
  for (char& c : text) {
    if (c == '/') c = '\\';
  }
  return text;
}

WineProbe::WineProbe(const fs::path& dir) : binary_(dir / "vornask.exe") { fs::copy_file(Program(), binary_); }

void WineProbe::EnableTrace() const { WriteFile(trace(), ""); }

// The probe only ever ends with 0 or 100. Any other status means wine did
// not get as far as running it: on a busy machine a wine start now and then
// fails before the program's first instruction, leaving nothing behind. That
// is wine's trouble, not the probe's, so the run is made again, and the
// retry is said on standard error so that it shows in the test's log.
ProcessResult RunProbeInPrefix(const std::vector<std::string>& command, seconds bound) {
  constexpr int kAttempts = 3;
  ProcessResult result;
  for (int attempt = 1; attempt <= kAttempts; ++attempt) {
    result = RunInPrefix(command, bound);
    if (result.status == 0 || result.status == 100) break;
    std::cerr << "wine did not run the program (status " << result.status << ", " << result.elapsed.count()
              << " ms): " << result.err << (attempt < kAttempts ? "; again\n" : "\n");
  }
  return result;
}

ProcessResult WineProbe::Run(const std::vector<std::string>& arguments, seconds bound,
                             const std::vector<std::string>& environment) const {
  std::vector<std::string> command(environment);
  command.push_back(kWine);
  command.push_back(binary_.string());
  command.insert(command.end(), arguments.begin(), arguments.end());
  return RunProbeInPrefix(command, bound);
}

ProcessResult WineProbe::RunWithCommandLine(const std::string& command_line, seconds bound) const {
  const fs::path file = binary_.parent_path() / "command_line.txt";
  WriteFile(file, command_line);
  return RunProbeInPrefix({kWine, Launcher().string(), WindowsPath(binary_), WindowsPath(file)}, bound);
}

}  // namespace vornask::testing
