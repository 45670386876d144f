// The client's blocking wait: it returns as soon as there is something to
// deliver, sleeps through work that only moves an attempt on, and otherwise
// returns when its time is up, so that a waiting probe wakes only when
// something can change.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <memory>
#include <mutex>
#include <string>
#include <thread>

#include "probe/asio_tcp_client.h"
#include "support/loopback.h"

namespace vornask::testing {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;
using std::chrono::milliseconds;

// A lookup answer held back until the test lets it go. Shared with the
// lookup thread, which may outlive the test's locals.
struct HeldAnswer {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  std::string address;
};

class Ignored final : public TcpClientEvents {
 public:
  void tcpClient_Connected(std::int16_t) override { ++events; }
  void tcpClient_Disconnected() override { ++events; }
  void tcpClient_Error(std::int16_t, const std::string&, ErrorOrigin) override { ++events; }
  int events = 0;
};

milliseconds Since(Clock::time_point start) { return std::chrono::duration_cast<milliseconds>(Clock::now() - start); }

TEST(AsioAwaitActivity, WithNothingHappeningReturnsFalseWhenItsTimeIsUp) {
  LoopbackListener silent(LoopbackListener::Behaviour::kSilent);
  AsioTcpClient client;
  client.Connect(silent.address(), silent.port());
  const auto start = Clock::now();
  EXPECT_FALSE(client.AwaitActivity(300ms));
  EXPECT_GE(Since(start), 295ms);
  EXPECT_LE(Since(start), 1500ms);
}

TEST(AsioAwaitActivity, ReturnsAtOnceForAnEventAlreadyQueued) {
  AsioTcpClient client;
  client.Connect("127.0.0.1", 0);  // fails at once: no port
  const auto start = Clock::now();
  EXPECT_TRUE(client.AwaitActivity(5s));
  EXPECT_LE(Since(start), 500ms);
}

TEST(AsioAwaitActivity, ReturnsWhenARefusalArrivesNotWhenItsTimeIsUp) {
  RefusingPort refusing;
  AsioTcpClient client;
  client.Connect(refusing.address(), refusing.port());
  const auto start = Clock::now();
  EXPECT_TRUE(client.AwaitActivity(10s));
  EXPECT_LE(Since(start), 2s);
}

TEST(AsioAwaitActivity, AFinishingLookupWakesIt) {
  auto held = std::make_shared<HeldAnswer>();
  held->address = "127.0.0.1";
  AsioTcpClient::Options options;
  options.lookup = [held](const std::string&) {
    std::unique_lock lock(held->mutex);
    held->changed.wait(lock, [&] { return held->released; });
    return LookupResult{0, {held->address}};
  };
  AsioTcpClient client(options);
  client.Connect("name.test", 80);
  std::thread release([held] {
    std::this_thread::sleep_for(200ms);
    std::lock_guard lock(held->mutex);
    held->released = true;
    held->changed.notify_all();
  });
  const auto start = Clock::now();
  const bool woke = client.AwaitActivity(10s);
  const milliseconds took = Since(start);
  release.join();
  EXPECT_TRUE(woke);
  EXPECT_GE(took, 150ms);
  EXPECT_LE(took, 3s);
}

TEST(AsioAwaitActivity, ANewAddressTriedAfterTheStaggerIsNoReasonToWake) {
  LoopbackListener first(LoopbackListener::Behaviour::kSilent, "127.0.0.1");
  LoopbackListener second(LoopbackListener::Behaviour::kSilent, "127.0.0.2", first.port());
  AsioTcpClient::Options options;
  options.attempt_delay = 100ms;
  options.lookup = [](const std::string&) { return LookupResult{0, {"127.0.0.1", "127.0.0.2"}}; };
  AsioTcpClient client(options);
  client.Connect("two.test", first.port());
  // The lookup's result is something to deliver: delivering it starts the
  // first address.
  ASSERT_TRUE(client.AwaitActivity(5s));
  Ignored ignored;
  client.DeliverPendingEvents(ignored);
  const auto start = Clock::now();
  EXPECT_FALSE(client.AwaitActivity(300ms));
  EXPECT_GE(Since(start), 295ms);
  EXPECT_LE(Since(start), 1500ms);
  EXPECT_EQ(ignored.events, 0);
}

}  // namespace
}  // namespace vornask::testing
