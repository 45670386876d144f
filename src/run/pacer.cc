#include "run/pacer.h"

#include <algorithm>
#include <chrono>
#include <stdexcept>

namespace vornask {

Pacer::Pacer(Run& run) : run_(run) {
  const std::int64_t now = run.env.NowMilliseconds();
  const std::optional<std::int64_t> last = run.state.LastSliceEnd;
  const bool follows_on = last && now >= *last && now - *last <= kSliceMilliseconds;
  origin_ = follows_on ? *last : now;
}

std::int64_t Pacer::Next(std::int64_t last) {
  if (run_.events == nullptr) throw std::logic_error("no receiver for the client's events");
  std::int64_t now = run_.env.NowMilliseconds();
  // A slice lasts 10 ms after the work at the end of the one before: when
  // that work (a handler, a trace write, the system not running us) took
  // longer than a slice, the grid starts again from now, as sleeping 10 ms
  // after it would have.
  if (now - EndOf(done_) > kSliceMilliseconds) origin_ = now - kSliceMilliseconds * done_;
  const std::int64_t end = EndOf(last);
  std::int64_t slice = last;
  if (now < end && AwaitActivity(end - now)) {
    // Delivered at the end of the slice in which the activity came; activity
    // exactly at a slice's end belongs to that slice.
    const std::int64_t at = run_.env.NowMilliseconds() - origin_;
    const std::int64_t containing = (at + kSliceMilliseconds - 1) / kSliceMilliseconds;
    slice = std::clamp(containing, done_ + 1, last);
  }
  run_.env.SleepUntil(EndOf(slice));
  done_ = slice;
  run_.state.LastSliceEnd = EndOf(slice);
  // A failure leaving an event handler belongs to no procedure of the run:
  // the one whose wait happened to deliver the event must not catch it.
  try {
    run_.client.DeliverPendingEvents(*run_.events);
  } catch (const std::exception& failure) {
    throw RunAborted{failure.what()};
  }
  return slice;
}

void Delay(Run& run, std::int16_t ms) {
  const std::int64_t slices = ms / kSliceMilliseconds;
  if (slices <= 0) return;
  Pacer pacer(run);
  while (pacer.done() < slices) pacer.Next(slices);
}

bool Pacer::AwaitActivity(std::int64_t milliseconds) {
  // The client's own work runs in there too; whatever fails in it belongs
  // to no procedure of the run either.
  try {
    return run_.client.AwaitActivity(std::chrono::milliseconds(milliseconds));
  } catch (const std::exception& failure) {
    throw RunAborted{failure.what()};
  }
}

}  // namespace vornask
