#include "probe/socket_identity.h"

#include <gtest/gtest.h>

#include <functional>
#include <memory>
#include <ostream>
#include <string>

#include "support/loopback.h"

namespace vornask {
namespace {

using testing::ConnectLoopback;
using testing::FreeLoopbackPort;
using testing::LoopbackListener;
using testing::UnconnectedSocket;
using testing::UniqueFd;

struct Socket {
  UniqueFd fd;
  std::shared_ptr<LoopbackListener> peer;  // the listener it is connected to, if any
};

struct IdentityCase {
  const char* name;
  std::function<Socket()> make;
  bool connected_to_itself;
  friend std::ostream& operator<<(std::ostream& out, const IdentityCase& c) { return out << c.name; }
};

// Bound to a port and connected to that same port: the socket meets its own
// SYN, the way a client can when the kernel picks the target port as its own.
Socket SelfConnected(const std::string& address) {
  const std::uint16_t port = FreeLoopbackPort(address);
  return {ConnectLoopback(address, port, port), nullptr};
}

Socket Ordinary(const std::string& address) {
  auto listener = std::make_shared<LoopbackListener>(LoopbackListener::Behaviour::kAccept, address);
  return {ConnectLoopback(address, listener->port()), listener};
}

class SocketIdentity : public ::testing::TestWithParam<IdentityCase> {};

TEST_P(SocketIdentity, TellsASocketConnectedToItself) {
  const Socket socket = GetParam().make();
  EXPECT_EQ(IsConnectedToItself(socket.fd.get()), GetParam().connected_to_itself);
}

// Only the socket that reached itself makes its connect a refusal.
TEST_P(SocketIdentity, RefusesOnlyAConnectionToItself) {
  const Socket socket = GetParam().make();
  EXPECT_EQ(ConnectedStatus(socket.fd.get()), GetParam().connected_to_itself ? testing::kConnectionRefused : 0);
}

INSTANTIATE_TEST_SUITE_P(
    SocketIdentity, SocketIdentity,
    ::testing::Values(IdentityCase{"SelfConnectedIPv4", [] { return SelfConnected("127.0.0.1"); }, true},
                      IdentityCase{"SelfConnectedIPv6", [] { return SelfConnected("::1"); }, true},
                      IdentityCase{"OrdinaryIPv4", [] { return Ordinary("127.0.0.1"); }, false},
                      IdentityCase{"OrdinaryIPv6", [] { return Ordinary("::1"); }, false},
                      IdentityCase{"NotConnected",
                                   [] {
                                     return Socket{UnconnectedSocket(), nullptr};
                                   },
                                   false}),
    [](const ::testing::TestParamInfo<IdentityCase>& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vornask
