// Entry of the probe on Linux and other POSIX systems: the arguments become
// the argument text, and the run does the rest.
#include <cstring>
#include <string>

#include "platform/argument_text.h"
#include "platform/console_output.h"
#include "platform/process_setup.h"
#include "platform/standard_error.h"
#include "run/program.h"
#include "run/usage.h"

int main(int argc, char** argv) {
  vornask::PrepareProcess();
  if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
    vornask::WriteToConsole(vornask::kUsage);
    return 0;
  }
  if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
    vornask::WriteToConsole(std::string("vornask ") + VORNASK_VERSION + "\n");
    return 0;
  }
  return vornask::RunProgram(vornask::JoinArguments(argc, argv), vornask::SystemStandardError());
}
