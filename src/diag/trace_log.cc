#include "diag/trace_log.h"

#include "diag/caret_notation.h"

namespace vornask {
namespace {

constexpr std::string_view kLineEnd = "\r\n";

}  // namespace

void TraceLog::WriteTraceHeader() {
  AppendText([this] { return std::string(kLineEnd) + env_.LocalTimestamp() + " Start" + std::string(kLineEnd); });
}

void TraceLog::AppendDebugLine(std::string_view message) {
  AppendDebugLine([message] { return std::string(message); });
}

void TraceLog::AppendDebugLine(const std::function<std::string()>& compose_message) {
  AppendText([&] {
    std::string line = env_.LocalTimestamp();
    line += CaretNotation(compose_message());
    line += kLineEnd;
    return line;
  });
}

void TraceLog::AppendText(const std::function<std::string()>& compose_text) {
  // After a failed write the trace already misses a line: a later, shorter
  // line (a handler's own) must not follow it as if nothing had happened.
  if (write_failure_) throw std::system_error(*write_failure_);
  const auto remembered = [this](auto&& step) {
    try {
      return step();
    } catch (const std::system_error& failure) {
      write_failure_.emplace(failure);
      throw;
    }
  };
  TraceAppend file = remembered([this] { return directory_.OpenForAppend(); });
  // A failure while composing closes the file and fails this line alone.
  const std::string text = compose_text();
  remembered([&] {
    file.Write(text);
    file.Close();
  });
}

}  // namespace vornask
