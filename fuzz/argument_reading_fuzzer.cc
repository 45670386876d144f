// Whatever bytes arrive as the argument text, reading them must not crash or
// read outside the text, must leave a target table the probe can walk, must
// agree with a plain reference reading of every number, and must store the
// same result every time, with tracing on or off.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

#include <fcntl.h>
#include <unistd.h>

#include "diag/trace_log.h"
#include "platform/standard_error.h"
#include "probe/tcp_client.h"
#include "run/argument_reading.h"
#include "platform/env.h"
#include "run/run_state.h"

namespace {

using vornask::ArgTokens;
using vornask::ArgumentsOutcome;
using vornask::TargetEntry;

[[noreturn]] void Fail(const char* why) {
  std::fprintf(stderr, "argument_reading_fuzzer: %s\n", why);
  __builtin_trap();
}

void Check(bool holds, const char* why) {
  if (!holds) Fail(why);
}

// Counts every use: an untraced reading must prove it never looked at the
// clock or wrote the trace (each trace line asks for a timestamp).
class CountingEnv final : public vornask::Env {
 public:
  std::int64_t NowMilliseconds() override {
    ++uses;
    return 0;
  }
  std::string LocalTimestamp() override {
    ++uses;
    return "2000-01-01 00:00:00";
  }
  void SleepUntil(std::int64_t) override { ++uses; }

  int uses = 0;
};

// Reading arguments has no business with a connection; only the paced wait
// after a traced argument error may hand over (no) events.
class IdleClient final : public vornask::TcpClient {
 public:
  bool LinkUp() override { Fail("argument reading asked whether a link is up"); }
  void Connect(const std::string&, std::int32_t) override { Fail("argument reading started a connection"); }
  void Disconnect() override { Fail("argument reading closed a connection"); }
  std::string PeerHost() override { Fail("argument reading asked for the peer host"); }
  std::int32_t PeerPort() override { Fail("argument reading asked for the peer port"); }
  void DeliverPendingEvents(vornask::TcpClientEvents&) override { ++deliveries; }
  bool AwaitActivity(std::chrono::milliseconds) override { return false; }

  int deliveries = 0;
};

class IgnoredEvents final : public vornask::TcpClientEvents {
 public:
  void tcpClient_Connected(std::int16_t) override {}
  void tcpClient_Disconnected() override {}
  void tcpClient_Error(std::int16_t, const std::string&, vornask::ErrorOrigin) override {}
};

struct Reading {
  ArgumentsOutcome outcome = ArgumentsOutcome::kContinue;
  std::int16_t required = 0;
  std::int16_t target_count = 0;
  std::array<TargetEntry, vornask::kMaxTargets> targets{};
  int env_uses = 0;
  int deliveries = 0;
  std::vector<std::string> error_lines;
};

// The trace only accepts a regular file, so traced readings write to a
// scratch directory of their own whose trace is emptied before each reading
// so it never grows.
const std::string& ScratchTraceDirectory() {
  static const std::string directory = [] {
    char pattern[] = "/tmp/vornask-fuzz-trace-XXXXXX";
    if (mkdtemp(pattern) == nullptr) std::abort();
    static std::string created(pattern);
    const int fd = open((created + "/" + vornask::kTraceFileName).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) std::abort();
    close(fd);
    std::atexit([] {
      unlink((created + "/" + vornask::kTraceFileName).c_str());
      rmdir(created.c_str());
    });
    return created;
  }();
  return directory;
}

// Argument errors are also told on standard error; the lines are kept for
// the checks.
class CollectedStandardError final : public vornask::StandardError {
 public:
  void WriteLine(std::string_view line) override { lines.emplace_back(line); }
  std::vector<std::string> lines;
};

Reading ReadOnce(std::string_view text, bool debug_on) {
  if (truncate((ScratchTraceDirectory() + "/" + vornask::kTraceFileName).c_str(), 0) != 0) std::abort();
  CountingEnv env;
  IdleClient client;
  IgnoredEvents events;
  vornask::TraceLog log(ScratchTraceDirectory(), env);
  CollectedStandardError errors;
  vornask::Run run(env, client, log, errors, std::string(text));
  run.events = &events;
  run.state.DebugOn = debug_on;

  Reading reading;
  reading.outcome = vornask::ReadArguments(run);
  reading.required = run.state.RequiredCount;
  reading.target_count = run.state.TargetCount;
  for (int number = 1; number <= vornask::kMaxTargets; ++number) {
    reading.targets[static_cast<std::size_t>(number - 1)] = run.targets[number];
  }
  reading.env_uses = env.uses;
  reading.deliveries = client.deliveries;
  reading.error_lines = errors.lines;
  return reading;
}

bool SameEntry(const TargetEntry& a, const TargetEntry& b) {
  return a.Host == b.Host && a.Port == b.Port && a.Connected == b.Connected;
}

bool SameStored(const Reading& a, const Reading& b) {
  if (a.required != b.required || a.target_count != b.target_count) return false;
  for (std::size_t i = 0; i < a.targets.size(); ++i) {
    if (!SameEntry(a.targets[i], b.targets[i])) return false;
  }
  return true;
}

// A number token read the plain way, in one forward scan: blanks, a sign,
// digits, a point and digits, blanks. Rounding compares the fraction's digits
// with "5" as text, which orders fractions correctly once their trailing
// zeros are gone; so halves go to even without looking at single digits.
std::optional<std::int64_t> ReferenceNumber(std::string_view text, std::int64_t min, std::int64_t max) {
  std::string_view rest = text;
  const auto skip_blanks = [&rest] {
    while (!rest.empty() && rest.front() == ' ') rest.remove_prefix(1);
  };
  const auto take_digits = [&rest] {
    std::size_t n = 0;
    while (n < rest.size() && rest[n] >= '0' && rest[n] <= '9') ++n;
    const std::string_view digits = rest.substr(0, n);
    rest.remove_prefix(n);
    return digits;
  };

  skip_blanks();
  bool negative = false;
  if (!rest.empty() && (rest.front() == '+' || rest.front() == '-')) {
    negative = rest.front() == '-';
    rest.remove_prefix(1);
  }
  std::string_view whole = take_digits();
  std::string_view fraction;
  if (!rest.empty() && rest.front() == '.') {
    rest.remove_prefix(1);
    fraction = take_digits();
  }
  skip_blanks();
  if (!rest.empty() || (whole.empty() && fraction.empty())) return std::nullopt;

  while (!whole.empty() && whole.front() == '0') whole.remove_prefix(1);
  // Eighteen digits still fit the arithmetic and already exceed any range asked for.
  if (whole.size() > 18) return std::nullopt;
  std::int64_t magnitude = 0;
  for (char c : whole) magnitude = magnitude * 10 + (c - '0');

  while (!fraction.empty() && fraction.back() == '0') fraction.remove_suffix(1);
  const int against_half = fraction.compare("5");
  if (against_half > 0 || (against_half == 0 && magnitude % 2 == 1)) ++magnitude;

  const std::int64_t value = negative ? -magnitude : magnitude;
  if (value < min || value > max) return std::nullopt;
  return value;
}

// Splitting only drops quotes and separators: every other byte reaches a
// token, none is invented, and the order is kept.
void CheckTokens(std::string_view text, const ArgTokens& tokens) {
  std::string kept_from_text;
  for (char c : text) {
    if (c != '"' && c != ' ' && c != '\t') kept_from_text += c;
  }
  std::string kept_from_tokens;
  for (const std::string& token : tokens) {
    Check(token.find('"') == std::string::npos, "a token kept a double quote");
    for (char c : token) {
      if (c != ' ' && c != '\t') kept_from_tokens += c;
    }
  }
  Check(kept_from_text == kept_from_tokens, "splitting lost, invented or reordered bytes");
}

// Whether every byte of `text` belongs to a whole UTF-8 sequence: a lead
// byte followed by as many continuation bytes as it announces.
bool WholeUtf8(std::string_view text) {
  for (std::size_t at = 0; at < text.size();) {
    const auto lead = static_cast<unsigned char>(text[at]);
    const std::size_t bytes = lead < 0x80 ? 1 : lead >= 0xc0 && lead < 0xe0 ? 2 : lead >= 0xe0 && lead < 0xf0 ? 3
                              : lead >= 0xf0 && lead < 0xf8                ? 4
                                                                           : 0;
    if (bytes == 0 || at + bytes > text.size()) return false;
    for (std::size_t i = 1; i < bytes; ++i) {
      if ((static_cast<unsigned char>(text[at + i]) & 0xc0) != 0x80) return false;
    }
    at += bytes;
  }
  return true;
}

void CheckOutcome(bool debug_on, bool ok, const Reading& got);

// `tokens` is null when the text was over the length limit.
void CheckAgainstReference(std::string_view text, const ArgTokens* tokens, bool debug_on, const Reading& got) {
  Check(got.target_count >= 0 && got.target_count <= vornask::kMaxTargets, "TargetCount outside 0 to 10");

  bool ok = tokens != nullptr;
  std::int16_t required = 0;
  std::size_t number = 0;  // targets reached, the failing one included
  if (ok && !(*tokens)[0].empty()) {
    const auto value = ReferenceNumber((*tokens)[0], std::numeric_limits<std::int16_t>::min(),
                                       std::numeric_limits<std::int16_t>::max());
    if (value) {
      required = static_cast<std::int16_t>(*value);
    } else {
      ok = false;
    }
  }
  Check(got.required == required, "RequiredCount differs from the reference reading");

  for (std::size_t slot = 1; ok && slot < tokens->size() && !(*tokens)[slot].empty(); ++slot) {
    const TargetEntry& entry = got.targets[number++];
    const std::string_view token = (*tokens)[slot];
    const std::size_t colon = token.find(':');
    if (colon == std::string_view::npos) {
      Check(SameEntry(entry, TargetEntry{}), "a target with no colon got a host or a port");
      continue;
    }
    const std::string_view host = token.substr(0, colon);
    const auto port = ReferenceNumber(token.substr(colon + 1), std::numeric_limits<std::int32_t>::min(),
                                      std::numeric_limits<std::int32_t>::max());
    if (!port) {
      ok = false;
      Check(entry.Port == 0 && entry.Connected == 0, "a target whose port was rejected kept a port");
      Check(entry.Host.empty() || entry.Host == host, "a target whose port was rejected got a foreign host");
      break;
    }
    Check(entry.Host == host, "a target's host differs from its token");
    Check(entry.Port == *port, "a target's port differs from the reference reading");
    Check(entry.Connected == 0, "a freshly read target counts as connected");
  }
  for (std::size_t i = number; i < got.targets.size(); ++i) {
    Check(SameEntry(got.targets[i], TargetEntry{}), "a target past the last one read was written");
  }
  Check(got.target_count == (ok ? static_cast<std::int16_t>(number) : 0), "TargetCount differs from the targets read");

  // A text read whole is silent, but for the one warning of an empty COUNT
  // before at least one target.
  if (ok) {
    const bool warned = (*tokens)[0].empty() && number > 0;
    Check(got.error_lines == (warned ? std::vector<std::string>{vornask::kEmptyCountWarning} : std::vector<std::string>{}),
          "a text read whole was not told exactly as an empty COUNT asks");
    CheckOutcome(debug_on, ok, got);
    return;
  }

  // Exactly one line for a rejected text, short, printable and in its frame.
  Check(got.error_lines.size() == 1u, "an argument error is not told in exactly one line");
  for (const std::string& line : got.error_lines) {
    Check(line.rfind("vornask: argument error: ", 0) == 0, "the error line lacks its prefix");
    const std::string_view suffix = "; see vornask --help";
    Check(line.size() > suffix.size() && line.compare(line.size() - suffix.size(), suffix.size(), suffix) == 0,
          "the error line lacks its ending");
    Check(line.size() < 512, "the error line is not short");
    for (char c : line) {
      const auto byte = static_cast<unsigned char>(c);
      Check((byte >= 0x20 && byte != 0x7f) || byte == 0x09, "the error line holds a control character");
    }
    // Tokens are cut short between characters: UTF-8 in, UTF-8 out.
    Check(!WholeUtf8(text) || WholeUtf8(line), "the error line cut a UTF-8 character");
  }
  CheckOutcome(debug_on, ok, got);
}

void CheckOutcome(bool debug_on, bool ok, const Reading& got) {
  const bool ends = got.outcome == ArgumentsOutcome::kEndProgram;
  Check(ends == (debug_on && !ok), "the outcome does not match the argument error");
  if (debug_on) {
    Check(got.env_uses > 0, "a traced reading wrote no trace line");
  } else {
    Check(got.env_uses == 0 && got.deliveries == 0, "an untraced reading used the clock, the trace or the client");
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  // The reader gets a std::string, whose terminator and inline buffer would
  // hide a read one past the end; splitting an exactly sized heap copy lets
  // AddressSanitizer see any such read.
  const std::unique_ptr<char[]> exact(new char[size]);
  if (size > 0) std::memcpy(exact.get(), data, size);
  const std::string_view text(exact.get(), size);

  ArgTokens tokens;
  bool too_long = false;
  try {
    vornask::SplitArguments(text, tokens);
  } catch (const std::overflow_error&) {
    too_long = true;
  }
  Check(too_long == (size > 32767), "the length limit is not 32767 bytes");
  if (!too_long) CheckTokens(text, tokens);

  std::optional<Reading> untraced;
  for (const bool debug_on : {false, true}) {
    const Reading first = ReadOnce(text, debug_on);
    const Reading second = ReadOnce(text, debug_on);
    Check(SameStored(first, second), "the same text read twice stored different results");
    Check(first.outcome == second.outcome, "the same text read twice ended differently");
    CheckAgainstReference(text, too_long ? nullptr : &tokens, debug_on, first);
    if (untraced) {
      Check(SameStored(*untraced, first), "tracing changed what was stored");
    } else {
      untraced = first;
    }
  }
  return 0;
}
