// Loopback peers for tests that use real sockets: a port that accepts, one
// that refuses, one that never answers, and ones that end each connection at
// once. Plain system sockets, POSIX or Winsock; every address must be a
// numeric loopback one (127.0.0.0/8 or ::1), anything else throws, so no test
// can reach out. Failures to set a fixture up throw std::runtime_error.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace vornask::testing {

// An owned descriptor, closed when dropped. On Windows it holds a SOCKET,
// a handle as wide as a pointer; -1 (INVALID_SOCKET there) is none.
class UniqueFd {
 public:
  UniqueFd() = default;
  explicit UniqueFd(std::intptr_t fd) : fd_(fd) {}
  UniqueFd(UniqueFd&& other) noexcept : fd_(other.Release()) {}
  UniqueFd& operator=(UniqueFd&& other) noexcept;
  ~UniqueFd() { Reset(); }
  UniqueFd(const UniqueFd&) = delete;
  UniqueFd& operator=(const UniqueFd&) = delete;

  std::intptr_t get() const { return fd_; }
  std::intptr_t Release();
  void Reset();

 private:
  std::intptr_t fd_ = -1;
};

// What a connect to a RefusingPort and a read from a reset connection fail
// with: errno values, Winsock codes on Windows.
extern const int kConnectionRefused;
extern const int kConnectionReset;

// The system's text for such a code, as the client describes an error with
// it.
std::string SocketErrorText(int code);

// True when the tests run under wine, whose sockets part from Windows' in
// places.
bool UnderWine();

// The local port a socket is bound to.
std::uint16_t LocalPort(std::intptr_t fd);

// An IPv4 TCP socket, neither bound nor connected.
UniqueFd UnconnectedSocket();

// A port that is free on `address` right now (bound, then released).
std::uint16_t FreeLoopbackPort(const std::string& address = "127.0.0.1");

// A blocking connect to address:port. A non-zero `local_port` binds the
// socket to address:local_port first; giving the destination port makes a
// socket connected to itself.
UniqueFd ConnectLoopback(const std::string& address, std::uint16_t port, std::uint16_t local_port = 0);

// Ends a connection with a reset instead of a close (SO_LINGER 0).
void ResetConnection(UniqueFd& connection);

// A port bound on `address` where nothing listens, held for the fixture's
// life so connects to it are refused and nobody else takes it. `port` 0
// picks an ephemeral one.
class RefusingPort {
 public:
  explicit RefusingPort(std::string address = "127.0.0.1", std::uint16_t port = 0);
  const std::string& address() const { return address_; }
  std::uint16_t port() const { return port_; }

 private:
  std::string address_;
  UniqueFd socket_;
  std::uint16_t port_ = 0;
};

class AcceptWait;  // one per system, see loopback_sockets.h

// A listening socket on `address` (port 0: ephemeral) and, unless silent, a
// thread that accepts and treats each connection as `behaviour` says.
class LoopbackListener {
 public:
  enum class Behaviour {
    kAccept,           // accepts and keeps the connection open
    kAcceptThenClose,  // accepts and closes at once: the peer reads end of file
    kAcceptThenReset,  // accepts and resets at once: the peer reads kConnectionReset
    // Never answers: backlog 0 and an accept queue filled by one connection
    // that is held but never accepted, so the SYNs of any further connect
    // are dropped and it stays pending.
    kSilent,
  };

  explicit LoopbackListener(Behaviour behaviour = Behaviour::kAccept, std::string address = "127.0.0.1",
                            std::uint16_t port = 0);
  ~LoopbackListener();
  LoopbackListener(const LoopbackListener&) = delete;
  LoopbackListener& operator=(const LoopbackListener&) = delete;

  const std::string& address() const { return address_; }
  std::uint16_t port() const { return port_; }

  // Connections accepted so far (never any for a silent listener).
  int accepted() const;
  // Waits until at least `count` connections have been accepted.
  bool WaitForAccepted(int count, std::chrono::milliseconds bound) const;
  // Ends every connection kept open by kAccept, by close or by reset.
  void CloseHeld();
  void ResetHeld();
  // Waits until every kept connection (at least one) has been closed by its
  // peer; data the peer sent is read and dropped on the way.
  bool WaitForPeerClose(std::chrono::milliseconds bound);

 private:
  void AcceptLoop();

  Behaviour behaviour_;
  std::string address_;
  std::uint16_t port_ = 0;
  UniqueFd listener_;
  UniqueFd filler_;                   // kSilent: the connection that fills the accept queue
  std::unique_ptr<AcceptWait> wait_;  // where the accept thread sleeps
  mutable std::mutex mutex_;
  mutable std::condition_variable accepted_changed_;
  int accepted_ = 0;
  std::vector<UniqueFd> held_;
  std::thread acceptor_;
};

}  // namespace vornask::testing
