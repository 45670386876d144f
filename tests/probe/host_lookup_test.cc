#include "probe/host_lookup.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <ostream>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "support/sealed.h"

namespace vornask {
namespace {

using namespace std::chrono_literals;
using Clock = std::chrono::steady_clock;

// Where the system resolver finds its answer, which says where a case may run.
enum class Source {
  kNumeric,     // nowhere: the host is an address
  kHostsFile,   // the hosts file
  kNameserver,  // maybe past the hosts file, at a nameserver: scripts/sealed only
};

struct SystemCase {
  const char* name;
  const char* host;
  Source source;
  bool resolves;
  std::vector<std::string> any_of;  // at least one of these is among the addresses
  std::vector<std::string> all_of;  // and every one of these
  friend std::ostream& operator<<(std::ostream& out, const SystemCase& c) { return out << c.name; }
};

class HostLookupSystem : public ::testing::TestWithParam<SystemCase> {};

bool Holds(const std::vector<std::string>& addresses, const std::string& address) {
  return std::find(addresses.begin(), addresses.end(), address) != addresses.end();
}

TEST_P(HostLookupSystem, ResolvesToNumericAddresses) {
  const SystemCase& test = GetParam();
  if (test.source != Source::kNumeric && !testing::kSystemLookups) GTEST_SKIP() << testing::kNoSystemLookups;
  // Even a name the machine's own hosts file should hold may be missing
  // there and go out to its nameserver: only numeric addresses resolve
  // outside the sealed network.
  if (test.source != Source::kNumeric && !testing::Sealed()) GTEST_SKIP() << testing::kNeedsSealed;
  const LookupResult result = SystemLookup(test.host);
  if (!test.resolves) {
    EXPECT_NE(result.error, 0);
    EXPECT_TRUE(result.addresses.empty());
    return;
  }
  ASSERT_EQ(result.error, 0);
  if (!test.any_of.empty()) {
    EXPECT_TRUE(std::any_of(test.any_of.begin(), test.any_of.end(), [&](const std::string& address) {
      return Holds(result.addresses, address);
    })) << ::testing::PrintToString(result.addresses);
  }
  for (const std::string& address : test.all_of) {
    EXPECT_TRUE(Holds(result.addresses, address))
        << address << " missing from " << ::testing::PrintToString(result.addresses);
  }
  std::vector<std::string> unique = result.addresses;
  std::sort(unique.begin(), unique.end());
  EXPECT_EQ(std::unique(unique.begin(), unique.end()), unique.end()) << "duplicates";
}

INSTANTIATE_TEST_SUITE_P(
    HostLookup, HostLookupSystem,
    ::testing::Values(
        SystemCase{"NumericIPv4", "127.0.0.1", Source::kNumeric, true, {"127.0.0.1"}, {}},
        SystemCase{"NumericIPv6", "::1", Source::kNumeric, true, {"::1"}, {}},
        SystemCase{"Localhost", "localhost", Source::kHostsFile, true, {"127.0.0.1", "::1"}, {}},
        // Not in every hosts file; where it is missing, the nameserver is asked.
        SystemCase{"Ipv6NameFromTheHostsFile", "ip6-localhost", Source::kNameserver, true, {}, {"::1"}},
        SystemCase{
            "BothFamiliesFromDns", testing::kDnsBoth.c_str(), Source::kNameserver, true, {}, {"127.0.0.1", "::1"}},
        SystemCase{"Unresolvable", "no-such-host.invalid", Source::kNameserver, false, {}, {}},
        SystemCase{"NameWithoutAddresses", testing::kDnsNoAddress.c_str(), Source::kNameserver, false, {}, {}}),
    [](const ::testing::TestParamInfo<SystemCase>& info) { return std::string(info.param.name); });

// A lookup function whose calls for "hang.invalid" wait until released.
// Everything it touches is shared with the lookup threads, which may outlive
// the lookup object and the test's locals.
struct Script {
  std::mutex mutex;
  std::condition_variable changed;
  bool released = false;
  std::atomic<int> finished{0};

  void Release() {
    std::lock_guard lock(mutex);
    released = true;
    changed.notify_all();
  }
};

LookupFunction ScriptedLookup(const std::shared_ptr<Script>& script) {
  return [script](const std::string& host) {
    if (host == "hang.invalid") {
      std::unique_lock lock(script->mutex);
      script->changed.wait(lock, [&] { return script->released; });
    }
    if (host == "throws.invalid") throw std::runtime_error("resolver broke");
    ++script->finished;
    return LookupResult{0, {host == "hang.invalid" ? "127.0.0.9" : "127.0.0.1"}};
  };
}

std::optional<LookupResult> WaitForResult(BackgroundLookup& lookup, std::chrono::milliseconds bound) {
  const auto end = Clock::now() + bound;
  for (;;) {
    if (std::optional<LookupResult> result = lookup.TakeResult()) return result;
    if (Clock::now() > end) return std::nullopt;
    std::this_thread::sleep_for(5ms);
  }
}

bool WaitUntil(const std::function<bool()>& done, std::chrono::milliseconds bound) {
  const auto end = Clock::now() + bound;
  while (!done()) {
    if (Clock::now() > end) return false;
    std::this_thread::sleep_for(5ms);
  }
  return true;
}

TEST(HostLookup, HangingLookupHoldsUpNeitherTheNextNorItsResult) {
  auto script = std::make_shared<Script>();
  BackgroundLookup lookup(ScriptedLookup(script));

  lookup.Start("hang.invalid");
  lookup.Start("fast.invalid");
  const std::optional<LookupResult> result = WaitForResult(lookup, 2s);
  ASSERT_TRUE(result.has_value());
  EXPECT_EQ(result->addresses, std::vector<std::string>{"127.0.0.1"});

  script->Release();
  ASSERT_TRUE(WaitUntil([&] { return script->finished == 2; }, 2s));
  EXPECT_FALSE(WaitForResult(lookup, 200ms).has_value()) << "the abandoned lookup's answer came through";
}

// The lookup thread holds the only other reference to the script; it drops
// it once it has posted, which it must do into memory still alive (ASan).
TEST(HostLookup, LookupOutlivingItsOwnerFinishesCleanly) {
  auto script = std::make_shared<Script>();
  {
    BackgroundLookup lookup(ScriptedLookup(script));
    lookup.Start("hang.invalid");
  }
  script->Release();
  EXPECT_TRUE(WaitUntil([&] { return script.use_count() == 1; }, 2s));
  EXPECT_EQ(script->finished, 1);
}

TEST(HostLookup, ThrowingLookupIsAFailedLookup) {
  auto script = std::make_shared<Script>();
  BackgroundLookup lookup(ScriptedLookup(script));

  lookup.Start("throws.invalid");
  const std::optional<LookupResult> result = WaitForResult(lookup, 2s);
  ASSERT_TRUE(result.has_value());
  EXPECT_NE(result->error, 0);
  EXPECT_TRUE(result->addresses.empty());
}

}  // namespace
}  // namespace vornask
