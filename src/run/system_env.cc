#include <chrono>
#include <ctime>
#include <stdexcept>
#include <thread>

#include "run/env.h"

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
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
  }
};

}  // namespace

Env& SystemEnv() {
  static RealEnv env;
  return env;
}

}  // namespace vornask
