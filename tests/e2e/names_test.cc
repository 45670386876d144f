// The built probe given host names, inside scripts/sealed: names from its
// hosts file and from its DNS responder, whose answers may come late, say
// that the name does not exist, or never come. Everywhere else these tests
// skip, since a lookup there may leave the machine.
#include <gtest/gtest.h>

#include <chrono>
#include <cstring>
#include <ostream>
#include <string>
#include <vector>

#include "probe/host_lookup.h"
#include "support/loopback.h"
#include "support/process.h"
#include "support/sealed.h"
#include "support/temp_dir.h"

namespace vornask::testing {
namespace {

using std::chrono::milliseconds;
using std::chrono::seconds;
using Behaviour = LoopbackListener::Behaviour;
using Clock = std::chrono::steady_clock;
using Lines = std::vector<std::string>;

class ProbeNames : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!Sealed()) GTEST_SKIP() << kNeedsSealed;
  }

  TempDir dir;
  ProbeCopy probe{dir.path()};
};

// The whole trace of a one-target run whose name led to `address`, which
// accepted.
Lines ReachedTrace(const std::string& host, const std::string& address, std::uint16_t port) {
  return {"",
          " Start",
          " CommandLine = 1 " + Target(host, port),
          " --> Connecting to " + OnPort(host, port),
          " <-- Connected to " + OnPort(address, port),
          " --- Disconnected",
          " Return Value: 100"};
}

std::string Describe(const ProcessResult& result) {
  return "status " + std::to_string(result.status) + ", signal " + std::to_string(result.signal) + " (" +
         (result.signal != 0 ? strsignal(result.signal) : "none") + "), standard error: " + result.err;
}

struct NameCase {
  const char* name;
  std::string host;
  friend void PrintTo(const NameCase& c, std::ostream* out) { *out << c.host; }
};

class ProbeNameOfIpv6Loopback : public ProbeNames, public ::testing::WithParamInterface<NameCase> {};

// A target cannot be written as an IPv6 address (its first colon would end
// the host), so a name is the only way to ::1.
TEST_P(ProbeNameOfIpv6Loopback, ReachesAListenerThere) {
  const std::string& host = GetParam().host;
  LoopbackListener listener(Behaviour::kAccept, "::1");
  probe.EnableTrace();
  const ProcessResult result = probe.Run({"1", Target(host, listener.port())}, seconds(30));
  EXPECT_EQ(result.status, 100) << Describe(result);
  EXPECT_EQ(result.out + result.err, "");
  EXPECT_TRUE(listener.WaitForAccepted(1, milliseconds(2000)));
  EXPECT_EQ(probe.TraceMessages(), ReachedTrace(host, "::1", listener.port()));
}

INSTANTIATE_TEST_SUITE_P(Names, ProbeNameOfIpv6Loopback,
                         ::testing::Values(NameCase{"Ip6LocalhostFromTheHostsFile", "ip6-localhost"},
                                           NameCase{"Ip6LoopbackFromTheHostsFile", "ip6-loopback"},
                                           NameCase{"Localhost6FromTheHostsFile", "localhost6"},
                                           NameCase{"FromDns", kDnsV6}),
                         [](const auto& info) { return std::string(info.param.name); });

// The resolver puts ::1 first; silent, it gets company after the client's
// stagger of 250 ms, and 127.0.0.1 accepts well within the 25 s.
TEST_F(ProbeNames, SilentIpv6GivesWayToIpv4OfTheSameNameAfterTheStagger) {
  const LookupResult resolved = SystemLookup(kDnsBoth);
  ASSERT_EQ(resolved.addresses, (Lines{"::1", "127.0.0.1"})) << "the resolver's order differs here";
  LoopbackListener v4(Behaviour::kAccept, "127.0.0.1");
  LoopbackListener v6(Behaviour::kSilent, "::1", v4.port());
  probe.EnableTrace();

  const auto start = Clock::now();
  StartedProcess run = probe.Start({"1", Target(kDnsBoth, v4.port())});
  ASSERT_TRUE(v4.WaitForAccepted(1, milliseconds(10'000)));
  const auto reached = Clock::now() - start;
  const ProcessResult result = run.Wait(seconds(30));

  EXPECT_EQ(result.status, 100) << Describe(result);
  EXPECT_GE(reached, milliseconds(250));
  EXPECT_LE(reached, milliseconds(1500) + kStartUpAllowance);
  EXPECT_EQ(probe.TraceMessages(), ReachedTrace(kDnsBoth, "127.0.0.1", v4.port()));
}

TEST_F(ProbeNames, LateAnswerIsWaitedFor) {
  const std::string host = DnsLate(1500, kDnsV4);
  LoopbackListener listener;
  probe.EnableTrace();

  const auto start = Clock::now();
  StartedProcess run = probe.Start({"1", Target(host, listener.port())});
  ASSERT_TRUE(listener.WaitForAccepted(1, milliseconds(10'000)));
  const auto reached = Clock::now() - start;
  const ProcessResult result = run.Wait(seconds(30));

  EXPECT_EQ(result.status, 100) << Describe(result);
  EXPECT_GE(reached, milliseconds(1500));
  EXPECT_LE(reached, milliseconds(4000) + kStartUpAllowance);
  EXPECT_EQ(probe.TraceMessages(), ReachedTrace(host, "127.0.0.1", listener.port()));
}

// The resolver is set to wait 30 s for an answer: the lookup outlasts the
// attempt, which must end with its deadline all the same, and the run with
// it, the lookup's thread still waiting.
TEST_F(ProbeNames, LookupThatNeverAnswersRunsOutTheDeadlineIn25To26Seconds) {
  LoopbackListener listener;
  probe.EnableTrace();
  const std::string target = Target(kDnsSilent, listener.port());
  const ProcessResult result = probe.Run({"1", target}, seconds(60));
  EXPECT_EQ(result.status, 0) << Describe(result);
  EXPECT_EQ(result.out + result.err, "");
  // 25 to 26 seconds of waiting, then half a second after the verdict line.
  EXPECT_GE(result.elapsed, milliseconds(25'000));
  EXPECT_LE(result.elapsed, milliseconds(27'500) + kStartUpAllowance);
  EXPECT_EQ(listener.accepted(), 0);
  EXPECT_EQ(probe.TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + target,
                   " --> Connecting to " + OnPort(kDnsSilent, listener.port()), " Return Value: 0"}));
}

class ProbeNameWithoutAddress : public ProbeNames, public ::testing::WithParamInterface<NameCase> {};

TEST_P(ProbeNameWithoutAddress, FailsWithinAboutASecond) {
  const std::string& host = GetParam().host;
  LoopbackListener listener;
  probe.EnableTrace();
  const std::string target = Target(host, listener.port());
  const ProcessResult result = probe.Run({"1", target}, seconds(30));
  EXPECT_EQ(result.status, 0) << Describe(result);
  EXPECT_EQ(result.out + result.err, "");
  // The failure ends the wait at the clock's next whole second, then the
  // verdict line is followed by half a second.
  EXPECT_LE(result.elapsed, milliseconds(3000) + kStartUpAllowance);
  EXPECT_EQ(listener.accepted(), 0);
  EXPECT_EQ(probe.TraceMessages(),
            (Lines{"", " Start", " CommandLine = 1 " + target, " --> Connecting to " + OnPort(host, listener.port()),
                   " --- Failed Connecting to " + OnPort(host, listener.port()), " Return Value: 0"}));
}

INSTANTIATE_TEST_SUITE_P(Names, ProbeNameWithoutAddress,
                         ::testing::Values(NameCase{"NoSuchName", kDnsMissing},
                                           NameCase{"NameWithoutAddresses", kDnsNoAddress}),
                         [](const auto& info) { return std::string(info.param.name); });

// New threads take their stack size from the stack limit unless told
// otherwise, and a lookup through DNS needs more than 16 KiB.
TEST_F(ProbeNames, SmallStackLimitLeavesLookupsEnoughStack) {
  if (kSanitizerBuild) GTEST_SKIP() << "instrumented, the probe's main thread alone needs more than 16 KiB of stack";
  LoopbackListener listener;
  probe.EnableTrace();
  const ProcessResult result =
      probe.Run({"1", Target(kDnsV4, listener.port())}, seconds(30), ProcessLimits{.stack_bytes = 16L * 1024});
  EXPECT_EQ(result.signal, 0) << Describe(result);
  EXPECT_EQ(result.status, 100) << Describe(result);
  EXPECT_EQ(probe.TraceMessages(), ReachedTrace(kDnsV4, "127.0.0.1", listener.port()));
}

}  // namespace
}  // namespace vornask::testing
