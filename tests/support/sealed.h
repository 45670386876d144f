// Whether the tests run inside scripts/sealed, the only place where they may
// look names up: there the network holds nothing but loopback, and names
// resolve from the script's own hosts file and from its DNS responder
// (tests/sealed/dns_responder.py), whose names live under kZone.
#pragma once

#include <string>

namespace vornask::testing {

inline constexpr const char* kNeedsSealed =
    "looks names up, which tests do only inside scripts/sealed (./test runs them there)";

// Names the sealed DNS responder answers.
inline const std::string kZone = "vornask.test";
inline const std::string kDnsV4 = "v4." + kZone;                // A 127.0.0.1
inline const std::string kDnsV6 = "v6." + kZone;                // AAAA ::1
inline const std::string kDnsBoth = "both." + kZone;            // A 127.0.0.1, AAAA ::1
inline const std::string kDnsNoAddress = "noaddress." + kZone;  // exists without addresses
inline const std::string kDnsSilent = "silent." + kZone;        // never answered
inline const std::string kDnsMissing = "missing." + kZone;      // NXDOMAIN
// `name` answered `ms` milliseconds late.
inline std::string DnsLate(int ms, const std::string& name) { return "late-" + std::to_string(ms) + "." + name; }

// The Windows tests run under wine, whose resolver is the host machine's, and
// scripts/sealed cannot wrap them: there, only lookup functions of the tests'
// own resolve names, the system resolver never does.
#ifdef _WIN32
inline constexpr bool kSystemLookups = false;
#else
inline constexpr bool kSystemLookups = true;
#endif
inline constexpr const char* kNoSystemLookups =
    "looks a name up through the system's resolver, which the Windows tests never do";

// True when VORNASK_SEALED=1 is set and the place is as scripts/sealed makes
// it. When the variable is set but the network or the resolver reaches past
// loopback, it records a test failure and returns false, so that nothing is
// looked up out there. Always false on Windows.
bool Sealed();

}  // namespace vornask::testing
