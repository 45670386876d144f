// Entry of the probe on Windows: a program of the GUI subsystem that never
// shows a window and has no console. The command line's own text after the
// program name becomes the argument text, and the run does the rest.
#include <windows.h>

#include <string>

#include "platform/argument_text.h"
#include "platform/console_output.h"
#include "platform/process_setup.h"
#include "platform/standard_error.h"
#include "run/program.h"
#include "run/usage.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int) {
  vornask::PrepareProcess();
  std::string text = vornask::ArgumentText();
  if (text == "--help") {
    vornask::WriteToConsole(vornask::kUsage);
    return 0;
  }
  if (text == "--version") {
    vornask::WriteToConsole(std::string("vornask ") + VORNASK_VERSION + "\n");
    return 0;
  }
  return vornask::RunProgram(std::move(text), vornask::SystemStandardError());
}
