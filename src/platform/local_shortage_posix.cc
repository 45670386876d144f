#include <cerrno>

#include "platform/local_shortage.h"

namespace vornask {

// EADDRNOTAVAIL stays out: besides a lack of local ports it also means an
// address family this host does not route (::1 where IPv6 is off), which is
// an answer about the target.
bool IsLocalShortage(int system_code) {
  switch (system_code) {
    case EMFILE:  // this process's descriptors
    case ENFILE:  // the system's file table, not ours, but just as local
    case ENOBUFS:
    case ENOMEM:
      return true;
    default:
      return false;
  }
}

}  // namespace vornask
