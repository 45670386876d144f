#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "platform/system_env.h"

namespace vornask {
namespace {

class RealEnv final : public Env {
 public:
  std::int64_t NowMilliseconds() override {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
  }

  std::string LocalTimestamp() override {
    std::time_t now = std::time(nullptr);
    std::tm local{};
    if (localtime_r(&now, &local) == nullptr) throw std::runtime_error("local time unavailable");
    char text[32];
    std::size_t n = std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &local);
    return std::string(text, n);
  }

  void SleepUntil(std::int64_t at) override {
    using namespace std::chrono;
    std::this_thread::sleep_until(steady_clock::time_point(milliseconds(at)));
  }
};

}  // namespace

Env& SystemEnv() {
  static RealEnv env;
  return env;
}

}  // namespace vornask
