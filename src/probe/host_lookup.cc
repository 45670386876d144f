#include "probe/host_lookup.h"

#include <mutex>
#include <system_error>
#include <utility>

#include "probe/lookup_thread.h"

namespace vornask {

// Shared by the owner and every lookup thread; outlives whichever ends last.
struct BackgroundLookup::Mailbox {
  std::mutex mutex;
  std::uint64_t wanted = 0;  // ticket of the lookup whose result counts; 0: none
  std::optional<LookupResult> result;
  // Mirrors result.has_value() so the owner's frequent check needs no lock.
  std::atomic<bool> ready{false};
  std::function<void()> notify;

  void Post(std::uint64_t ticket, LookupResult posted) {
    std::lock_guard lock(mutex);
    if (ticket != wanted) return;
    result = std::move(posted);
    ready.store(true, std::memory_order_release);
    if (notify) notify();
  }
};

BackgroundLookup::BackgroundLookup(LookupFunction lookup)
    : lookup_(lookup ? std::move(lookup) : LookupFunction(SystemLookup)), mailbox_(std::make_shared<Mailbox>()) {}

BackgroundLookup::~BackgroundLookup() {
  Abandon();
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->notify = nullptr;
}

bool BackgroundLookup::ResultReady() const { return mailbox_->ready.load(std::memory_order_acquire); }

void BackgroundLookup::SetNotifier(std::function<void()> notify) {
  std::lock_guard lock(mailbox_->mutex);
  mailbox_->notify = std::move(notify);
}

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
        result = LookupResult{kLookupFailed, {}, false};
      }
      mailbox->Post(ticket, std::move(result));
    });
  } catch (const std::system_error& no_thread) {
    mailbox_->Post(ticket, LookupResult{no_thread.code().value(), {}, true, no_thread.code().message()});
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
