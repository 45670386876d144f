#include "probe/socket_identity.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <netinet/in.h>
#include <sys/socket.h>
#endif

#include <cerrno>
#include <cstring>

namespace vornask {

namespace {

bool SameEndpoint(const sockaddr_storage& a, const sockaddr_storage& b) {
  if (a.ss_family != b.ss_family) return false;
  if (a.ss_family == AF_INET) {
    const auto& x = reinterpret_cast<const sockaddr_in&>(a);
    const auto& y = reinterpret_cast<const sockaddr_in&>(b);
    return x.sin_port == y.sin_port && x.sin_addr.s_addr == y.sin_addr.s_addr;
  }
  if (a.ss_family == AF_INET6) {
    const auto& x = reinterpret_cast<const sockaddr_in6&>(a);
    const auto& y = reinterpret_cast<const sockaddr_in6&>(b);
    // The scope matters for link-local addresses: fe80::1 on two interfaces
    // are two different hosts.
    return x.sin6_port == y.sin6_port && x.sin6_scope_id == y.sin6_scope_id &&
           std::memcmp(&x.sin6_addr, &y.sin6_addr, sizeof x.sin6_addr) == 0;
  }
  return false;
}

}  // namespace

bool IsConnectedToItself(std::intptr_t socket) {
#ifdef _WIN32
  const SOCKET fd = static_cast<SOCKET>(socket);
  int local_length = sizeof(sockaddr_storage);
  int peer_length = sizeof(sockaddr_storage);
#else
  const int fd = static_cast<int>(socket);
  socklen_t local_length = sizeof(sockaddr_storage);
  socklen_t peer_length = sizeof(sockaddr_storage);
#endif
  sockaddr_storage local{};
  sockaddr_storage peer{};
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&local), &local_length) != 0) return false;
  if (::getpeername(fd, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0) return false;
  return local_length == peer_length && SameEndpoint(local, peer);
}

int ConnectedStatus(std::intptr_t socket) {
#ifdef _WIN32
  constexpr int kRefused = WSAECONNREFUSED;
#else
  constexpr int kRefused = ECONNREFUSED;
#endif
  return IsConnectedToItself(socket) ? kRefused : 0;
}

}  // namespace vornask
