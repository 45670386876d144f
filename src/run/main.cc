// Entry of the probe: wires the system clock, the Asio client and the trace
// file beside the executable into one run, then ends the process the way the
// run asks. Whatever the run could not handle ends it with status 0 and one
// line on standard error, never with a status a caller could read as reached.
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <string>

#include "diag/caret_notation.h"
#include "diag/trace_log.h"
#include "platform/standard_error.h"
#include "probe/asio_tcp_client.h"
#include "run/argument_text.h"
#include "run/env.h"
#include "run/main_window.h"
#include "run/run_state.h"
#include "run/usage.h"

namespace {

// Ends at once, like the verdict: a lookup thread may still be running, and
// no static object may be torn down beside it.
[[noreturn]] void ReportUnhandled(const char* what) {
  vornask::SystemStandardError().WriteLine(std::string("vornask: run stopped: ") + vornask::CaretNotation(what));
  std::_Exit(vornask::kStatusNotReached);
}

int RunProbe(int argc, char** argv) {
  using namespace vornask;
  Env& env = SystemEnv();
  TraceLog log(ExecutableDirectory(), env);
  AsioTcpClient client;
  Run run(env, client, log, SystemStandardError(), JoinArguments(argc, argv));
  MainWindow window(run);
  const RunEnd end = window.Load();
  if (end.immediate) std::_Exit(end.status);
  return end.status;
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file size limit, a trace write must fail like any other write and
  // end the run with status 0 and its line, not kill the process silently.
  std::signal(SIGXFSZ, SIG_IGN);
  // A standard error that nobody reads must not end the run before its
  // status: the line is lost, the status is not.
  std::signal(SIGPIPE, SIG_IGN);
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    std::fputs(vornask::kUsage, stdout);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    std::printf("vornask %s\n", VORNASK_VERSION);
    return 0;
  }
  try {
    return RunProbe(argc, argv);
  } catch (const vornask::RunAborted& aborted) {
    ReportUnhandled(aborted.what.c_str());
  } catch (const std::exception& failure) {
    ReportUnhandled(failure.what());
  } catch (...) {
    ReportUnhandled("unknown failure");
  }
}
