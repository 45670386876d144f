#include "entry/program.h"

#include <exception>
#include <utility>

#include "diag/caret_notation.h"
#include "diag/trace_log.h"
#include "platform/executable_directory.h"
#include "platform/process_end.h"
#include "platform/system_env.h"
#include "probe/asio_tcp_client.h"
#include "run/main_window.h"
#include "run/run_state.h"

namespace vornask {
namespace {

// Ends at once, like the verdict: a lookup thread may still be running, and
// no static object may be torn down beside it.
[[noreturn]] void StopUnhandled(StandardError& errors, const std::string& what) {
  errors.WriteLine("vornask: run stopped: " + CaretNotation(what));
  EndProcessNow(kStatusNotReached);
}

}  // namespace

int RunProgram(std::string argument_text, StandardError& errors) {
  try {
    Env& env = SystemEnv();
    TraceLog log(ExecutableDirectory(), env);
    AsioTcpClient client;
    Run run(env, client, log, errors, std::move(argument_text));
    MainWindow window(run);
    const RunEnd end = window.Load();
    if (end.immediate) EndProcessNow(end.status);
    return end.status;
  } catch (const RunAborted& aborted) {
    StopUnhandled(errors, aborted.what);
  } catch (const std::exception& failure) {
    StopUnhandled(errors, failure.what());
  } catch (...) {
    StopUnhandled(errors, "unknown failure");
  }
}

}  // namespace vornask
