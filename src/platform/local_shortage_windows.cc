#include <winsock2.h>

#include "platform/local_shortage.h"

namespace vornask {

// WSAEADDRNOTAVAIL stays out: besides a lack of local ports it also means an
// address family this host does not route (::1 where IPv6 is off), which is
// an answer about the target.
bool IsLocalShortage(int system_code) {
  switch (system_code) {
    case WSAEMFILE:
    case WSAENOBUFS:
    // The resolver's "not enough memory" (WSA_NOT_ENOUGH_MEMORY is this
    // code) and the one Asio reports for a failed allocation.
    case ERROR_NOT_ENOUGH_MEMORY:
    case ERROR_OUTOFMEMORY:
    case ERROR_NO_SYSTEM_RESOURCES:
    // Winsock could not be started in this process.
    case WSANOTINITIALISED:
      return true;
    default:
      return false;
  }
}

}  // namespace vornask
