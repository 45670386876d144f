#include "entry/entry_guard.h"

#include <mutex>

namespace vornask {
namespace {

StandardError* terminate_errors = nullptr;

[[noreturn]] void StopTerminated() {
  // A second thread that fails meanwhile waits here for the first to end
  // the process, so that the first line goes out whole.
  static std::mutex ending;
  ending.lock();
  const char* what = "out of memory";
  if (std::current_exception() != nullptr) {
    // Rethrowing the exception being handled takes no memory.
    try {
      throw;
    } catch (const std::exception& failure) {
      what = failure.what();
    } catch (...) {
      what = "unknown failure";
    }
  }
  if (terminate_errors != nullptr) WriteStopLine(*terminate_errors, what);
  EndProcessNow(kStatusNotReached);
}

}  // namespace

void WriteStopLine(StandardError& errors, std::string_view what) noexcept {
  static constexpr std::string_view kPrefix = "vornask: run stopped: ";
  char line[1024];
  std::size_t size = kPrefix.copy(line, kPrefix.size());
  bool cut = false;
  for (const char c : what) {
    const auto byte = static_cast<unsigned char>(c);
    const bool control = (byte < 0x20 && byte != '\t') || byte == 0x7f;
    if (size + (control ? 2 : 1) > sizeof line) {
      cut = true;
      break;
    }
    if (control) {
      line[size++] = '^';
      line[size++] = static_cast<char>(byte ^ 0x40);
    } else {
      line[size++] = c;
    }
  }
  if (cut) {
    // Never half a UTF-8 character at the end.
    std::size_t lead = size;
    while (lead > kPrefix.size() && size - lead < 3 && (static_cast<unsigned char>(line[lead - 1]) & 0xc0) == 0x80) {
      --lead;
    }
    if (lead > kPrefix.size()) {
      const auto byte = static_cast<unsigned char>(line[--lead]);
      const std::size_t length = byte >= 0xf0 ? 4 : byte >= 0xe0 ? 3 : byte >= 0xc0 ? 2 : 1;
      if (size - lead < length) size = lead;
    }
  }
  try {
    errors.WriteLine(std::string_view(line, size));
  } catch (...) {
    // Nowhere left to tell it; the status still says the run failed.
  }
}

void StopOnTerminate(StandardError& errors) {
  terminate_errors = &errors;
  std::set_terminate(StopTerminated);
}

}  // namespace vornask
