// When this machine cannot even try a target, the client says so with an
// error event of local origin before the failed completion, so that the run
// can tell the failure apart from a target that did not answer.
#include <gtest/gtest.h>
#include <netdb.h>
#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdint>
#include <functional>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

#include "probe/asio_tcp_client.h"
#include "support/loopback.h"
#include "support/sealed.h"

namespace vornask::testing {
namespace {

using namespace std::chrono_literals;

struct Heard {
  enum class Kind { kConnected, kDisconnected, kError } kind;
  int code;
  std::string description;
  ErrorOrigin origin;
  friend bool operator==(const Heard&, const Heard&) = default;
  friend void PrintTo(const Heard& h, std::ostream* out) {
    *out << static_cast<int>(h.kind) << "(" << h.code << ", \"" << h.description << "\", "
         << (h.origin == ErrorOrigin::kLocal ? "local" : "connection") << ")";
  }
};

class Listener final : public TcpClientEvents {
 public:
  void tcpClient_Connected(std::int16_t status) override {
    heard.push_back({Heard::Kind::kConnected, status, {}, ErrorOrigin::kConnection});
  }
  void tcpClient_Disconnected() override { heard.push_back({Heard::Kind::kDisconnected, 0, {}, {}}); }
  void tcpClient_Error(std::int16_t code, const std::string& description, ErrorOrigin origin) override {
    heard.push_back({Heard::Kind::kError, code, description, origin});
  }
  std::vector<Heard> heard;
};

// Delivers until a connect completion was heard, or two seconds passed.
void DeliverUntilCompletion(TcpClient& client, Listener& listener) {
  const auto end = std::chrono::steady_clock::now() + 2s;
  while (std::chrono::steady_clock::now() < end) {
    client.DeliverPendingEvents(listener);
    if (!listener.heard.empty() && listener.heard.back().kind == Heard::Kind::kConnected) return;
    std::this_thread::sleep_for(5ms);
  }
}

// Uses up every descriptor this process may open, and gives them back.
class DescriptorsUsedUp {
 public:
  DescriptorsUsedUp() {
    getrlimit(RLIMIT_NOFILE, &saved_);
    rlimit lower = saved_;
    lower.rlim_cur = 256;
    setrlimit(RLIMIT_NOFILE, &lower);
    for (int fd; (fd = ::dup(STDIN_FILENO)) >= 0;) held_.push_back(fd);
  }
  ~DescriptorsUsedUp() {
    for (int fd : held_) ::close(fd);
    setrlimit(RLIMIT_NOFILE, &saved_);
  }
  DescriptorsUsedUp(const DescriptorsUsedUp&) = delete;
  DescriptorsUsedUp& operator=(const DescriptorsUsedUp&) = delete;

 private:
  rlimit saved_{};
  std::vector<int> held_;
};

TEST(AsioTcpClientLocalFailure, NoSocketIsAnErrorOfLocalOriginThenAFailedCompletion) {
#ifdef VORNASK_SANITIZER_BUILD
  GTEST_SKIP() << "the sanitizers' own checks need descriptors and report nonsense without them";
#endif
  LoopbackListener listener;
  AsioTcpClient client;
  Listener events;
  {
    DescriptorsUsedUp used_up;
    client.Connect("127.0.0.1", listener.port());
    DeliverUntilCompletion(client, events);
  }
  EXPECT_EQ(events.heard, (std::vector<Heard>{{Heard::Kind::kError, EMFILE, "Too many open files", ErrorOrigin::kLocal},
                                              {Heard::Kind::kConnected, EMFILE, {}, ErrorOrigin::kConnection}}));
  EXPECT_EQ(listener.accepted(), 0);
}

// How the client comes by the two addresses of localhost.
struct TwoAddressCase {
  const char* name;
  bool system_lookup;  // the system's resolver, which needs descriptors of its own
  LookupFunction lookup;
  friend void PrintTo(const TwoAddressCase& c, std::ostream* out) { *out << c.name; }
};

class AsioTcpClientLocalFailureOfAName : public ::testing::TestWithParam<TwoAddressCase> {};

// With no descriptor left, each attempt fails at this machine and says so
// exactly once: not once per address of the name, and not just for the
// first attempt of the client.
TEST_P(AsioTcpClientLocalFailureOfAName, IsToldOncePerAttempt) {
#ifdef VORNASK_SANITIZER_BUILD
  GTEST_SKIP() << "the sanitizers' own checks need descriptors and report nonsense without them";
#endif
  if (GetParam().system_lookup && !testing::Sealed()) GTEST_SKIP() << testing::kNeedsSealed;
  LoopbackListener listener;
  AsioTcpClient::Options options;
  options.lookup = GetParam().lookup;
  AsioTcpClient client(options);
  Listener first;
  Listener second;
  {
    DescriptorsUsedUp used_up;
    client.Connect("localhost", listener.port());
    DeliverUntilCompletion(client, first);
    client.Connect("localhost", listener.port());
    DeliverUntilCompletion(client, second);
  }
  const std::vector<Heard> once{{Heard::Kind::kError, EMFILE, "Too many open files", ErrorOrigin::kLocal},
                                {Heard::Kind::kConnected, EMFILE, {}, ErrorOrigin::kConnection}};
  EXPECT_EQ(first.heard, once);
  EXPECT_EQ(second.heard, once);
  EXPECT_EQ(listener.accepted(), 0);
}

INSTANTIATE_TEST_SUITE_P(Lookups, AsioTcpClientLocalFailureOfAName,
                         ::testing::Values(
                             // The name resolves; neither address gets a socket.
                             TwoAddressCase{"NoSocketForEitherAddress", false,
                                            [](const std::string&) {
                                              return LookupResult{0, {"::1", "127.0.0.1"}};
                                            }},
                             // The resolver itself cannot open the hosts file, and glibc calls
                             // that a name it does not know.
                             TwoAddressCase{"NoDescriptorForTheLookup", true, {}}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(AsioTcpClientLocalFailure, LookupThatCouldNotBeDoneIsAnErrorOfLocalOrigin) {
  AsioTcpClient::Options options;
  options.lookup = [](const std::string&) { return LookupResult{ENOMEM, {}, true}; };
  AsioTcpClient client(options);
  Listener events;
  client.Connect("name.test", 80);
  DeliverUntilCompletion(client, events);
  EXPECT_EQ(events.heard,
            (std::vector<Heard>{{Heard::Kind::kError, ENOMEM, "Cannot allocate memory", ErrorOrigin::kLocal},
                                {Heard::Kind::kConnected, ENOMEM, {}, ErrorOrigin::kConnection}}));
}

TEST(AsioTcpClientLocalFailure, NameThatDoesNotResolveIsNoLocalFailure) {
  AsioTcpClient::Options options;
  options.lookup = [](const std::string&) { return LookupResult{EAI_NONAME, {}, false}; };
  AsioTcpClient client(options);
  Listener events;
  client.Connect("name.test", 80);
  DeliverUntilCompletion(client, events);
  EXPECT_EQ(events.heard, (std::vector<Heard>{{Heard::Kind::kConnected, EAI_NONAME, {}, ErrorOrigin::kConnection}}));
}

}  // namespace
}  // namespace vornask::testing
