#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

#include "platform/local_shortage.h"
#include "probe/host_lookup.h"

namespace vornask {

const int kLookupFailed = EAI_FAIL;

LookupResult SystemLookup(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  LookupResult result;
  errno = 0;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  const int lookup_errno = errno;
  if (status != 0) {
    if (status == EAI_MEMORY) {
      result.error = ENOMEM;
    } else if ((status == EAI_SYSTEM && lookup_errno != 0) || IsLocalShortage(lookup_errno)) {
      // errno says more than EAI_SYSTEM; and glibc reports a hosts file or
      // resolver socket it could not open for want of descriptors as a name
      // that is not known, leaving the reason in errno: the name was never
      // really looked up.
      result.error = lookup_errno;
    } else {
      result.error = status;
    }
    result.local_failure = IsLocalShortage(result.error);
    if (result.local_failure) result.description = std::generic_category().message(result.error);
    return result;
  }
  for (const addrinfo* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    char text[NI_MAXHOST];
    if (::getnameinfo(entry->ai_addr, entry->ai_addrlen, text, sizeof text, nullptr, 0, NI_NUMERICHOST) != 0) {
      continue;
    }
    if (std::find(result.addresses.begin(), result.addresses.end(), text) == result.addresses.end()) {
      result.addresses.emplace_back(text);
    }
  }
  ::freeaddrinfo(list);
  if (result.addresses.empty()) result.error = EAI_NONAME;
  return result;
}

}  // namespace vornask
