// The handling around everything an entry does, from its first step on: no
// failure may end the program by abort, whose status (134 on Linux, a crash
// on Windows) a caller cannot tell from any other crash. Every failure ends
// it with status 0 and one line on standard error, as a stopped run does.
#pragma once

#include <exception>
#include <string_view>

#include "platform/process_end.h"
#include "platform/standard_error.h"
#include "run/run_checks.h"

namespace vornask {

// Writes "vornask: run stopped: WHAT", control characters in caret
// notation, without taking memory from the heap: the failure being told
// may be that there is none left.
void WriteStopLine(StandardError& errors, std::string_view what) noexcept;

// From now on std::terminate writes the stop line on `errors` and ends the
// process with status 0 instead of aborting. The C++ runtime calls it
// without an exception when a throw finds no memory for its exception
// object: its emergency reserve is taken from the heap at start-up, so when
// the heap cannot even start (a tight `ulimit -v`), the first failed
// allocation cannot be thrown, let alone caught. It is also what a
// noexcept function or a thread's body that lets an exception out ends in.
void StopOnTerminate(StandardError& errors);

// Runs `entry`, which returns the exit status, under that handling; an
// exception it lets out ends the process the same way. The process ends at
// once there, like a stopped run: a lookup thread may still be running.
template <typename Entry>
int GuardedEntry(StandardError& errors, Entry entry) {
  StopOnTerminate(errors);
  try {
    return entry();
  } catch (const std::exception& failure) {
    WriteStopLine(errors, failure.what());
  } catch (...) {
    WriteStopLine(errors, "unknown failure");
  }
  EndProcessNow(kStatusNotReached);
}

}  // namespace vornask
