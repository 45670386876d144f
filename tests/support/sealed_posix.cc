#include "support/sealed.h"

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <net/if.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <string_view>

namespace vornask::testing {

namespace {

bool IsLoopbackAddress(const std::string& text) {
  in_addr v4{};
  in6_addr v6{};
  if (::inet_pton(AF_INET, text.c_str(), &v4) == 1) return (ntohl(v4.s_addr) >> 24) == 127;
  return ::inet_pton(AF_INET6, text.c_str(), &v6) == 1 && IN6_IS_ADDR_LOOPBACK(&v6);
}

// Why this is not the sealed place, or "" when it is.
std::string Unsealed() {
  struct if_nameindex* interfaces = ::if_nameindex();
  if (interfaces == nullptr) return "cannot list the network interfaces";
  std::string others;
  for (const struct if_nameindex* entry = interfaces; entry->if_index != 0; ++entry) {
    if (std::string_view(entry->if_name) != "lo") others += std::string(" ") + entry->if_name;
  }
  ::if_freenameindex(interfaces);
  if (!others.empty()) return "network interfaces besides loopback:" + others;

  std::ifstream resolv("/etc/resolv.conf");
  if (!resolv) return "no /etc/resolv.conf";
  int servers = 0;
  for (std::string line; std::getline(resolv, line);) {
    std::istringstream words(line);
    std::string keyword, address;
    if (!(words >> keyword >> address) || keyword != "nameserver") continue;
    if (!IsLoopbackAddress(address)) return "/etc/resolv.conf names the nameserver " + address;
    ++servers;
  }
  return servers > 0 ? "" : "/etc/resolv.conf names no nameserver";
}

}  // namespace

bool Sealed() {
  const char* flag = std::getenv("VORNASK_SEALED");
  if (flag == nullptr || std::strcmp(flag, "1") != 0) return false;
  static const std::string why_not = Unsealed();
  if (!why_not.empty()) {
    ADD_FAILURE() << "VORNASK_SEALED=1, but this is not the sealed place: " << why_not;
    return false;
  }
  return true;
}

}  // namespace vornask::testing
