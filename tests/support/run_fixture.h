// One whole run on the virtual clock: a scripted client, a trace file in a
// temporary directory, the run object and its window.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "diag/trace_log.h"
#include "run/main_window.h"
#include "run/run_state.h"
#include "support/captured_standard_error.h"
#include "support/scripted_client.h"
#include "support/temp_dir.h"
#include "support/virtual_env.h"

namespace vornask::testing {

class RunFixture : public ::testing::Test {
 protected:
  explicit RunFixture(std::int64_t start_ms = 1'000'000) : env(start_ms) {}

  void EnableTrace() { WriteFile(trace_path(), ""); }
  std::string trace_path() const { return (dir / "tcpdebug.txt").string(); }
  std::vector<std::string> TraceLines() const { return ReadCrLfLines(trace_path()); }

  // Fills target `n` directly, as argument reading would.
  void SetTarget(int n, const std::string& host, std::int32_t port) {
    run.targets[n].Host = host;
    run.targets[n].Port = port;
  }

  TempDir dir;
  VirtualEnv env;
  ScriptedClient client{env};
  TraceLog log{dir.path().string(), env};
  CapturedStandardError errors;
  vornask::Run run{env, client, log, errors, ""};
  MainWindow window{run};
};

}  // namespace vornask::testing
