#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "platform/env.h"

namespace vornask {
namespace {

class RealEnv final : public Env {
 public:
  std::int64_t NowSeconds() override {
    using namespace std::chrono;
    return duration_cast<seconds>(steady_clock::now().time_since_epoch()).count();
  }

  std::string LocalTimestamp() override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) throw std::runtime_error("local time unavailable");
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
  }

  void SleepMilliseconds(int ms) override {
    using namespace std::chrono;
    const steady_clock::time_point now = steady_clock::now();
    // Back-to-back slices keep to one grid, so the few hundred microseconds a
    // wake-up runs late do not pile up over a run of two hundred slices.
    if (now - wake_ > milliseconds(ms)) wake_ = now;
    wake_ += milliseconds(ms);
    std::this_thread::sleep_until(wake_);
  }

 private:
  std::chrono::steady_clock::time_point wake_{};
};

}  // namespace

Env& SystemEnv() {
  static RealEnv env;
  return env;
}

}  // namespace vornask
