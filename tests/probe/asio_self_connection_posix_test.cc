// A connect to a loopback port in the ephemeral range where nothing listens
// succeeds when the kernel picks that very port as the local one: the socket
// meets its own SYN. Here the kernel is left no other choice: the client runs
// in a child with a network namespace of its own whose ephemeral range is the
// target port alone, so the self-connection comes about the way it does in
// the wild, with nothing of the client's changed.
#include <fcntl.h>
#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <cstring>
#include <string>

#include "probe/asio_tcp_client.h"
#include "support/loopback.h"

namespace vornask {
namespace {

using namespace std::chrono_literals;

constexpr std::uint16_t kPort = 40001;

// What the child saw, as its exit status.
enum Outcome : int {
  kRefusedAndDown = 0,
  kConnected = 1,
  kNothing = 2,
  kOtherStatus = 3,
  kLinkUpAfterRefusal = 4,
  kNoNamespace = 77,
};

class FirstCompletion final : public TcpClientEvents {
 public:
  void tcpClient_Connected(std::int16_t code) override {
    if (!seen) status = code;
    seen = true;
  }
  void tcpClient_Disconnected() override {}
  void tcpClient_Error(std::int16_t, const std::string&, ErrorOrigin) override {}
  bool seen = false;
  int status = 0;
};

bool WriteFile(const char* path, const std::string& text) {
  const int fd = ::open(path, O_WRONLY | O_CLOEXEC);
  if (fd < 0) return false;
  const bool whole = ::write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
  return ::close(fd) == 0 && whole;
}

bool LoopbackUp() {
  const int fd = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  ifreq request{};
  std::strcpy(request.ifr_name, "lo");
  const bool up = ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                  (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
  ::close(fd);
  return up;
}

// Runs in the child, which has a single thread and may therefore enter new
// namespaces.
int TryInOwnNetwork() {
  if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0) return kNoNamespace;
  const std::string range = std::to_string(kPort) + " " + std::to_string(kPort);
  if (!LoopbackUp() || !WriteFile("/proc/sys/net/ipv4/ip_local_port_range", range)) return kNoNamespace;

  AsioTcpClient client;
  FirstCompletion completion;
  client.Connect("127.0.0.1", kPort);
  const auto bound = std::chrono::steady_clock::now() + 5s;
  while (!completion.seen && std::chrono::steady_clock::now() < bound) {
    client.AwaitActivity(10ms);
    client.DeliverPendingEvents(completion);
  }
  if (!completion.seen) return kNothing;
  if (completion.status == 0) return kConnected;
  if (completion.status != testing::kConnectionRefused) return kOtherStatus;
  return client.LinkUp() ? kLinkUpAfterRefusal : kRefusedAndDown;
}

TEST(AsioSelfConnection, ASocketThatReachedOnlyItselfIsRefused) {
  const pid_t child = ::fork();
  ASSERT_GE(child, 0);
  if (child == 0) ::_exit(TryInOwnNetwork());
  int status = 0;
  ASSERT_EQ(::waitpid(child, &status, 0), child);
  ASSERT_TRUE(WIFEXITED(status)) << "child status " << status;
  if (WEXITSTATUS(status) == kNoNamespace) GTEST_SKIP() << "no network namespace of its own can be made here";
  EXPECT_EQ(WEXITSTATUS(status), kRefusedAndDown)
      << "1: connected, 2: no completion, 3: another status, 4: link up after the refusal";
}

}  // namespace
}  // namespace vornask
