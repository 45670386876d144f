// Which system codes say that this machine, not the target or its name, was
// the problem. Each system's own codes: errno values here, Winsock and
// Windows codes there.
#include "platform/local_shortage.h"

#include <gtest/gtest.h>

#include <ostream>
#include <string>

#ifdef _WIN32
#include <winsock2.h>
#else
#include <netdb.h>
#include <cerrno>
#endif

namespace vornask::testing {
namespace {

struct ShortageCase {
  const char* name;
  int code;
  bool local;
  friend void PrintTo(const ShortageCase& c, std::ostream* out) { *out << c.name << " (" << c.code << ")"; }
};

class LocalShortageTest : public ::testing::TestWithParam<ShortageCase> {};

TEST_P(LocalShortageTest, TellsThisMachineApartFromTheTarget) {
  EXPECT_EQ(IsLocalShortage(GetParam().code), GetParam().local);
}

const ShortageCase kCases[] = {
#ifdef _WIN32
    {"NoDescriptors", WSAEMFILE, true},
    {"NoBuffers", WSAENOBUFS, true},
    {"ResolverOutOfMemory", WSA_NOT_ENOUGH_MEMORY, true},
    {"AllocationFailed", ERROR_OUTOFMEMORY, true},
    {"NoSystemResources", ERROR_NO_SYSTEM_RESOURCES, true},
    {"WinsockNotStarted", WSANOTINITIALISED, true},
    // Also a family this host does not route: an answer about the target.
    {"AddressNotAvailable", WSAEADDRNOTAVAIL, false},
    {"Refused", WSAECONNREFUSED, false},
    {"TimedOut", WSAETIMEDOUT, false},
    {"UnknownName", WSAHOST_NOT_FOUND, false},
#else
    {"NoDescriptors", EMFILE, true},
    {"SystemFileTableFull", ENFILE, true},
    {"NoBuffers", ENOBUFS, true},
    {"NoMemory", ENOMEM, true},
    // Also a family this host does not route: an answer about the target.
    {"AddressNotAvailable", EADDRNOTAVAIL, false},
    {"Refused", ECONNREFUSED, false},
    {"TimedOut", ETIMEDOUT, false},
    {"NoRoute", EHOSTUNREACH, false},
    // The resolver's own codes are negative here and never collide.
    {"UnknownName", EAI_NONAME, false},
#endif
    {"Success", 0, false},
};

INSTANTIATE_TEST_SUITE_P(Codes, LocalShortageTest, ::testing::ValuesIn(kCases),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace vornask::testing
