// Name resolution for the client, kept off the run's thread. The system
// resolver can block for many seconds on a name whose servers do not answer;
// the run moves on to its next target long before that, so every lookup gets
// a thread of its own and a lookup still hanging never holds up the next one.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace vornask {

struct LookupResult {
  // 0, or the getaddrinfo code of the failure (EAI_*, negative on glibc).
  // A failure the resolver reports as EAI_SYSTEM carries errno instead, which
  // says more, and so does one that left errno saying this machine ran short.
  int error = 0;
  // Numeric address texts ("127.0.0.1", "::1", "fe80::1%eth0") in the
  // resolver's order of preference, without duplicates.
  std::vector<std::string> addresses;
  // True when the lookup could not be done here at all (no thread, the
  // resolver out of memory or descriptors); `error` is then the system's
  // code and `description` its text.
  bool local_failure = false;
  std::string description{};
};

// The resolver's code for a lookup that failed without saying why (EAI_FAIL).
extern const int kLookupFailed;

// Turns a host name into addresses; may block for as long as it likes.
using LookupFunction = std::function<LookupResult(const std::string& host)>;

// getaddrinfo for stream sockets of both families. AI_ADDRCONFIG is left out
// on purpose: it hides ::1 and 127.0.0.1 on a host whose only configured
// addresses are loopback ones, and loopback is a fine target.
LookupResult SystemLookup(const std::string& host);

// One lookup at a time as the client sees it: starting a lookup abandons the
// one before, whose result is then dropped whenever it comes. Each lookup runs
// on a detached thread that shares only a mailbox with this object, so the
// object may be destroyed while a lookup hangs.
class BackgroundLookup {
 public:
  // An empty `lookup` means SystemLookup.
  explicit BackgroundLookup(LookupFunction lookup = {});
  ~BackgroundLookup();
  BackgroundLookup(const BackgroundLookup&) = delete;
  BackgroundLookup& operator=(const BackgroundLookup&) = delete;

  // Returns at once. Should no thread be available, the lookup finishes at
  // once as a local failure rather than failing here.
  void Start(const std::string& host);
  // Drops the lookup in progress, if any.
  void Abandon();
  // The result of the lookup started last, once it has finished; each result
  // is handed out once. Costs one atomic load while nothing has finished.
  std::optional<LookupResult> TakeResult();
  // True when TakeResult has a result to hand out.
  bool ResultReady() const;
  // Called on the lookup's thread when the result of the lookup started last
  // arrives, so that a waiting owner wakes up. Never called after Abandon or
  // destruction has begun.
  void SetNotifier(std::function<void()> notify);

 private:
  struct Mailbox;
  LookupFunction lookup_;
  std::shared_ptr<Mailbox> mailbox_;
};

}  // namespace vornask
