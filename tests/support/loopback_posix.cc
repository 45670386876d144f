#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <stdexcept>

#include "support/loopback_sockets.h"

namespace vornask::testing {

const int kConnectionRefused = ECONNREFUSED;
const int kConnectionReset = ECONNRESET;

std::string SocketErrorText(int code) { return std::strerror(code); }

bool UnderWine() { return false; }

void ThrowSocketError(const std::string& what) { throw std::runtime_error(what + ": " + std::strerror(errno)); }

UniqueFd OpenStreamSocket(int family) {
  UniqueFd socket(::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0));
  if (socket.get() < 0) ThrowSocketError("socket");
  return socket;
}

void CloseNative(std::intptr_t fd) { ::close(static_cast<int>(fd)); }

void SetAbortiveClose(std::intptr_t socket) {
  const linger abortive{1, 0};
  ::setsockopt(static_cast<int>(socket), SOL_SOCKET, SO_LINGER, &abortive, sizeof abortive);
}

UniqueFd AcceptWaiting(std::intptr_t listener) {
  return UniqueFd(::accept4(static_cast<int>(listener), nullptr, nullptr, SOCK_CLOEXEC));
}

struct AcceptWait::State {
  int listener;
  UniqueFd wake;  // an eventfd
};

AcceptWait::AcceptWait(std::intptr_t listener)
    : state_(new State{static_cast<int>(listener), UniqueFd(::eventfd(0, EFD_CLOEXEC))}) {
  if (state_->wake.get() < 0) ThrowSocketError("eventfd");
}

AcceptWait::~AcceptWait() = default;

bool AcceptWait::Next() {
  pollfd watched[2] = {{state_->listener, POLLIN, 0}, {static_cast<int>(state_->wake.get()), POLLIN, 0}};
  for (;;) {
    if (::poll(watched, 2, -1) < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    return watched[1].revents == 0;
  }
}

void AcceptWait::Wake() {
  const std::uint64_t one = 1;
  [[maybe_unused]] const ssize_t written = ::write(static_cast<int>(state_->wake.get()), &one, sizeof one);
}

bool WaitForPeersToClose(const std::vector<std::intptr_t>& connections, std::chrono::milliseconds bound) {
  std::vector<pollfd> open;
  open.reserve(connections.size());
  for (const std::intptr_t connection : connections) open.push_back({static_cast<int>(connection), POLLIN, 0});
  const auto end = std::chrono::steady_clock::now() + bound;
  while (!open.empty()) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) return false;
    if (::poll(open.data(), open.size(), static_cast<int>(left.count())) < 0 && errno != EINTR) return false;
    std::erase_if(open, [](const pollfd& entry) {
      if (entry.revents == 0) return false;
      char dropped[512];
      const ssize_t n = ::recv(entry.fd, dropped, sizeof dropped, MSG_DONTWAIT);
      return n == 0 || (n < 0 && errno != EAGAIN && errno != EINTR);
    });
  }
  return true;
}

}  // namespace vornask::testing
