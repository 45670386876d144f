#include "probe/lookup_thread.h"

#include <gtest/gtest.h>
#include <pthread.h>

#include <chrono>
#include <future>

namespace vornask {
namespace {

struct Seen {
  pthread_t thread;
  std::size_t stack_bytes = 0;
  int detach_state = -1;
};

// The size a lookup thread gets must not be the default, which follows the
// stack limit (8 MiB on most machines, 16 KiB after `ulimit -s 16`).
TEST(LookupThread, RunsTheBodyDetachedOnAStackOfItsOwnSize) {
  std::promise<Seen> seen;
  std::future<Seen> reported = seen.get_future();
  StartLookupThread([&seen] {
    Seen here{pthread_self()};
    pthread_attr_t attributes;
    if (pthread_getattr_np(pthread_self(), &attributes) == 0) {
      pthread_attr_getstacksize(&attributes, &here.stack_bytes);
      pthread_attr_getdetachstate(&attributes, &here.detach_state);
      pthread_attr_destroy(&attributes);
    }
    seen.set_value(here);
  });
  ASSERT_EQ(reported.wait_for(std::chrono::seconds(5)), std::future_status::ready);
  const Seen here = reported.get();
  EXPECT_FALSE(pthread_equal(here.thread, pthread_self()));
  EXPECT_GE(here.stack_bytes, kLookupThreadStackBytes);
  EXPECT_LT(here.stack_bytes, 2 * kLookupThreadStackBytes);
  EXPECT_EQ(here.detach_state, PTHREAD_CREATE_DETACHED);
}

}  // namespace
}  // namespace vornask
