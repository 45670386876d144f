// Entry of the probe on Linux and other POSIX systems: the arguments become
// the argument text, and the run does the rest.
#include <string>
#include <utility>

#include "entry/entry_guard.h"
#include "entry/information_request.h"
#include "entry/program.h"
#include "platform/argument_text.h"
#include "platform/process_setup.h"
#include "platform/system_standard_error.h"

int main(int argc, char** argv) {
  vornask::PrepareProcess();
  vornask::StandardError& errors = vornask::SystemStandardError();
  return vornask::GuardedEntry(errors, [&] {
    std::string text = vornask::JoinArguments(argc, argv);
    if (vornask::AnswerInformationRequest(text)) return 0;
    return vornask::RunProgram(std::move(text), errors);
  });
}
