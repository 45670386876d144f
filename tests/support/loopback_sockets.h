// What the loopback peers need from the system's sockets, one file per system
// (loopback_posix.cc, loopback_windows.cc) as in src/platform, so that
// loopback.cc holds only what both share. The socket calls both systems name
// alike (bind, connect, listen, getsockname) are used there directly.
#pragma once

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "support/loopback.h"

namespace vornask::testing {

// A socket kept as std::intptr_t, as the system's socket calls take it.
#ifdef _WIN32
inline SOCKET Native(std::intptr_t socket) { return static_cast<SOCKET>(socket); }
#else
inline int Native(std::intptr_t socket) { return static_cast<int>(socket); }
#endif

// Throws std::runtime_error with `what` and the last socket error's text.
[[noreturn]] void ThrowSocketError(const std::string& what);

// A TCP socket of `family` that no child process inherits; throws when
// there is none.
UniqueFd OpenStreamSocket(int family);

// Closes a descriptor (on Windows a socket).
void CloseNative(std::intptr_t fd);

// Makes closing `socket` reset its connection instead of ending it in order.
void SetAbortiveClose(std::intptr_t socket);

// The next connection waiting on `listener`; none when it could not be taken.
UniqueFd AcceptWaiting(std::intptr_t listener);

// Where a listener's accept thread sleeps until a connection waits or
// another thread asks it to stop.
class AcceptWait {
 public:
  explicit AcceptWait(std::intptr_t listener);
  ~AcceptWait();
  AcceptWait(const AcceptWait&) = delete;
  AcceptWait& operator=(const AcceptWait&) = delete;

  // True when a connection may be waiting; false once Wake was called, or
  // when waiting itself failed.
  bool Next();
  // Makes Next return false, now and from then on; any thread may call it.
  void Wake();

 private:
  struct State;
  std::unique_ptr<State> state_;
};

// Waits until the peer of every one of `connections` has closed it, reading
// and dropping what they sent on the way; false when `bound` passes first.
bool WaitForPeersToClose(const std::vector<std::intptr_t>& connections, std::chrono::milliseconds bound);

}  // namespace vornask::testing
