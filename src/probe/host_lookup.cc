#include "probe/host_lookup.h"

#include <netdb.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <mutex>
#include <system_error>
#include <utility>

#include "probe/lookup_thread.h"

namespace vornask {

LookupResult SystemLookup(const std::string& host) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* list = nullptr;
  LookupResult result;
  errno = 0;
  const int status = ::getaddrinfo(host.c_str(), nullptr, &hints, &list);
  if (status != 0) {
    result.error = (status == EAI_SYSTEM && errno != 0) ? errno : status;
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

// Shared by the owner and every lookup thread; outlives whichever ends last.
struct BackgroundLookup::Mailbox {
  std::mutex mutex;
  std::uint64_t wanted = 0;  // ticket of the lookup whose result counts; 0: none
  std::optional<LookupResult> result;
  // Mirrors result.has_value() so the owner's frequent check needs no lock.
  std::atomic<bool> ready{false};

  void Post(std::uint64_t ticket, LookupResult posted) {
    std::lock_guard lock(mutex);
    if (ticket != wanted) return;
    result = std::move(posted);
    ready.store(true, std::memory_order_release);
  }
};

BackgroundLookup::BackgroundLookup(LookupFunction lookup)
    : lookup_(lookup ? std::move(lookup) : LookupFunction(SystemLookup)), mailbox_(std::make_shared<Mailbox>()) {}

BackgroundLookup::~BackgroundLookup() { Abandon(); }

void BackgroundLookup::Start(const std::string& host) {
  std::uint64_t ticket = 0;
  {
    std::lock_guard lock(mailbox_->mutex);
    ticket = ++mailbox_->wanted;
    mailbox_->result.reset();
    mailbox_->ready.store(false, std::memory_order_relaxed);
  }
  try {
    StartLookupThread([mailbox = mailbox_, lookup = lookup_, host, ticket] {
      LookupResult result;
      try {
        result = lookup(host);
      } catch (...) {
        // Nothing may escape a detached thread; a lookup that throws simply failed.
        result = LookupResult{EAI_FAIL, {}};
      }
      mailbox->Post(ticket, std::move(result));
    });
  } catch (const std::system_error&) {
    mailbox_->Post(ticket, LookupResult{EAI_AGAIN, {}});
  }
}

void BackgroundLookup::Abandon() {
  std::lock_guard lock(mailbox_->mutex);
  ++mailbox_->wanted;
  mailbox_->result.reset();
  mailbox_->ready.store(false, std::memory_order_relaxed);
}

std::optional<LookupResult> BackgroundLookup::TakeResult() {
  if (!mailbox_->ready.load(std::memory_order_acquire)) return std::nullopt;
  std::lock_guard lock(mailbox_->mutex);
  std::optional<LookupResult> taken = std::move(mailbox_->result);
  mailbox_->result.reset();
  mailbox_->ready.store(false, std::memory_order_relaxed);
  return taken;
}

}  // namespace vornask
