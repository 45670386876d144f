// Entry of the probe on Linux and other POSIX systems: the arguments become
// the argument text, and the run does the rest.
#include <csignal>
#include <cstdio>
#include <cstring>

#include "platform/argument_text.h"
#include "platform/standard_error.h"
#include "run/program.h"
#include "run/usage.h"

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
  return vornask::RunProgram(vornask::JoinArguments(argc, argv), vornask::SystemStandardError());
}
