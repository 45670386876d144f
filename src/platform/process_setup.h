// What the process must settle before anything else runs.
#pragma once

namespace vornask {

// On POSIX systems: a write past a file size limit fails like any other
// write instead of killing the process (SIGXFSZ), and a standard error
// nobody reads loses its line, not the run (SIGPIPE). Nothing on Windows.
void PrepareProcess();

}  // namespace vornask
