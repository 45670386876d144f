// Whether a failure says that this machine ran short of something (memory,
// descriptors, buffers) rather than anything about the target or its name:
// the attempt was never really made. Every part of the program that tells a
// local failure from an answer asks here, so they all draw the line alike.
#pragma once

namespace vornask {

// `system_code`: an errno value here, a Windows or Winsock code there.
bool IsLocalShortage(int system_code);

}  // namespace vornask
