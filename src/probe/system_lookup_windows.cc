#include <winsock2.h>
#include <ws2tcpip.h>

#include <algorithm>

#include "platform/local_shortage.h"
#include "platform/system_error_text.h"
#include "platform/windows_text.h"
#include "probe/host_lookup.h"

namespace vornask {

const int kLookupFailed = EAI_FAIL;

LookupResult SystemLookup(const std::string& host) {
  // The wide-character resolver, so that a name outside the ANSI code page
  // reaches it unchanged.
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  ADDRINFOW* list = nullptr;
  LookupResult result;
  const int status = GetAddrInfoW(WideFromUtf8(host).c_str(), nullptr, &hints, &list);
  if (status != 0) {
    result.error = status;
    result.local_failure = IsLocalShortage(status);
    if (result.local_failure) result.description = SystemErrorText(status);
    return result;
  }
  for (const ADDRINFOW* entry = list; entry != nullptr; entry = entry->ai_next) {
    if (entry->ai_family != AF_INET && entry->ai_family != AF_INET6) continue;
    wchar_t text[NI_MAXHOST];
    if (GetNameInfoW(entry->ai_addr, static_cast<socklen_t>(entry->ai_addrlen), text, NI_MAXHOST, nullptr, 0,
                     NI_NUMERICHOST) != 0) {
      continue;
    }
    const std::string address = Utf8FromWide(text);
    if (std::find(result.addresses.begin(), result.addresses.end(), address) == result.addresses.end()) {
      result.addresses.push_back(address);
    }
  }
  FreeAddrInfoW(list);
  if (result.addresses.empty()) result.error = EAI_NONAME;
  return result;
}

}  // namespace vornask
