// Entry of the probe on Windows: a program of the GUI subsystem that never
// shows a window and has no console. The command line's own text after the
// program name becomes the argument text, and the run does the rest.
#include <windows.h>

#include <string>
#include <utility>

#include "entry/entry_guard.h"
#include "entry/information_request.h"
#include "entry/program.h"
#include "platform/argument_text.h"
#include "platform/process_setup.h"
#include "platform/system_standard_error.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vornask::PrepareProcess();
  vornask::StandardError& errors = vornask::SystemStandardError();
  return vornask::GuardedEntry(errors, [&] {
    std::string text = vornask::ArgumentText();
    if (vornask::AnswerInformationRequest(text)) return 0;
    return vornask::RunProgram(std::move(text), errors);
  });
}
