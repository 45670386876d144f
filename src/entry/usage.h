#pragma once

namespace vornask {

// Printed by --help; kept in step with the README.
inline constexpr const char* kUsage =
    "Usage: vornask COUNT HOST:PORT [HOST:PORT ...]\n"
    "\n"
    "Tries a TCP connection to each target in turn (up to ten), giving each\n"
    "attempt 25 seconds, and exits with status 100 when at least COUNT targets\n"
    "accepted a connection, 0 otherwise.\n"
    "\n"
    "Timing: an accepting target is noticed within 20 ms, a refusal within\n"
    "about 1 s; a target that never answers takes 25 to 26 s. When the previous\n"
    "connection is still up before a later target, the probe closes it and\n"
    "waits 200 ms.\n"
    "\n"
    "An empty COUNT (\"\") counts as 0, so any run with a target gives 100;\n"
    "a warning on standard error says so.\n"
    "\n"
    "Exit status:\n"
    "  100  at least COUNT targets accepted a connection (with at least one\n"
    "       target given, always when COUNT <= 0)\n"
    "  0    too few targets accepted, no targets were given, the arguments were\n"
    "       rejected, a target could not even be tried on this machine, or the\n"
    "       run failed; in the last three cases a line on standard error says why\n"
    "\n"
    "Trace: when a regular file with a single name, tcpdebug.txt, exists in the\n"
    "directory of the vornask executable, each run appends a timestamped trace\n"
    "to it; control characters in traced values show as ^M, ^J and so on. Every\n"
    "user that runs the probe must be able to write the file, or their runs\n"
    "stop with status 0 and a line on standard error.\n"
    "\n"
    "  --help     show this text and exit\n"
    "  --version  show the version and exit\n"
    "Either option must stand alone; blanks or double quotes around it are\n"
    "allowed.\n";

}  // namespace vornask
