// Ending the process at once, as the verdict does: no destructor runs, the
// system closes sockets and files, and a lookup thread still blocked in the
// resolver simply goes with the process.
#pragma once

namespace vornask {

[[noreturn]] void EndProcessNow(int status);

}  // namespace vornask
