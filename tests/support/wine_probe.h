// The Windows build of the probe, vornask.exe, run from the Linux tests
// under wine: straight from an argument vector (wine turns it into a command
// line of its own making), or through the test launcher, which hands the
// probe a command line byte for byte as a Windows caller would.
#pragma once

#include <chrono>
#include <filesystem>
#include <string>
#include <vector>

#include "support/process.h"

namespace vornask::testing {

// Why the Windows program cannot run here (no Windows build, no wine), or
// empty when it can. The first call in a process makes the build's wine
// prefix ready (created once, whichever test process comes first), starts
// its wine server detached and warms it up, so that later runs pay no
// start-up of their own and a first run's notes on standard error are gone.
std::string WineUnavailable();

// The path under wine's drive Z:, which maps the Linux root.
std::string WindowsPath(const std::filesystem::path& path);

// A copy of vornask.exe alone in a fresh directory, so that a trace file
// beside it belongs to one test. WineUnavailable() must have been empty.
class WineProbe {
 public:
  explicit WineProbe(const std::filesystem::path& dir);
  const std::filesystem::path& binary() const { return binary_; }
  std::filesystem::path trace() const { return binary_.parent_path() / "tcpdebug.txt"; }
  void EnableTrace() const;
  // wine vornask.exe ARGUMENTS..., with `environment` ("NAME=VALUE") added.
  ProcessResult Run(const std::vector<std::string>& arguments, std::chrono::seconds bound = std::chrono::seconds(60),
                    const std::vector<std::string>& environment = {}) const;
  // The probe started by the launcher with exactly this command line (UTF-8).
  ProcessResult RunWithCommandLine(const std::string& command_line,
                                   std::chrono::seconds bound = std::chrono::seconds(60)) const;
  std::vector<std::string> TraceMessages() const { return ProbeCopy::TraceMessagesOf(trace()); }

 private:
  std::filesystem::path binary_;
};

}  // namespace vornask::testing
