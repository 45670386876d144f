#include "probe/lookup_thread.h"

#include <pthread.h>

#include <memory>
#include <system_error>
#include <utility>

namespace vornask {

namespace {

extern "C" void* RunLookupBody(void* argument) {
  const std::unique_ptr<std::function<void()>> body(static_cast<std::function<void()>*>(argument));
  (*body)();
  return nullptr;
}

// Owns a thread attribute object for its life.
class ThreadAttributes {
 public:
  ThreadAttributes() {
    if (const int error = ::pthread_attr_init(&attributes_); error != 0) Throw(error, "pthread_attr_init");
  }
  ~ThreadAttributes() { ::pthread_attr_destroy(&attributes_); }
  ThreadAttributes(const ThreadAttributes&) = delete;
  ThreadAttributes& operator=(const ThreadAttributes&) = delete;

  pthread_attr_t* get() { return &attributes_; }

  [[noreturn]] static void Throw(int error, const char* what) {
    throw std::system_error(error, std::generic_category(), what);
  }

 private:
  pthread_attr_t attributes_{};
};

}  // namespace

void StartLookupThread(std::function<void()> body) {
  ThreadAttributes attributes;
  if (const int error = ::pthread_attr_setstacksize(attributes.get(), kLookupThreadStackBytes); error != 0) {
    ThreadAttributes::Throw(error, "pthread_attr_setstacksize");
  }
  if (const int error = ::pthread_attr_setdetachstate(attributes.get(), PTHREAD_CREATE_DETACHED); error != 0) {
    ThreadAttributes::Throw(error, "pthread_attr_setdetachstate");
  }
  auto owned = std::make_unique<std::function<void()>>(std::move(body));
  pthread_t thread;
  if (const int error = ::pthread_create(&thread, attributes.get(), RunLookupBody, owned.get()); error != 0) {
    ThreadAttributes::Throw(error, "pthread_create");
  }
  // The new thread owns it now.
  [[maybe_unused]] std::function<void()>* handed_over = owned.release();
}

}  // namespace vornask
