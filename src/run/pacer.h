// Waiting on a grid of 10 ms slices without waking for nothing. Sleeping
// slice by slice and delivering the client's events at the end of each slice
// would wake a hundred times a second to find nothing; the pacer sleeps
// through slices in which nothing can happen and wakes only at the end of
// the slice in which the client showed activity, or at the end of the wait.
// Every event is still delivered at the end of the slice in which it came.
#pragma once

#include <cstdint>

#include "run/run_state.h"

namespace vornask {

inline constexpr std::int64_t kSliceMilliseconds = 10;

// The paced wait: ms / 10 (truncated) slices of 10 ms, every client event
// delivered at the end of the slice in which it came. The only place, with
// the check's wait, where events are handled.
void Delay(Run& run, std::int16_t ms);

class Pacer {
 public:
  // Slices are numbered from 1; slice n ends 10 n ms after the grid's
  // origin, which is the end of the run's previous slice when that has only
  // just passed, so pauses that follow one another keep to one timetable.
  explicit Pacer(Run& run);

  // Slices whose end has been reached (and their events delivered).
  std::int64_t done() const { return done_; }
  // Where slice `slice` ends on the monotonic clock.
  std::int64_t EndOf(std::int64_t slice) const { return origin_ + kSliceMilliseconds * slice; }

  // Waits until the end of slice `last`, or until the end of the first
  // slice in which the client shows activity, whichever comes first;
  // delivers the pending events there and returns that slice's number. A
  // failure leaving an event handler becomes RunAborted, which no
  // procedure's handler may catch. `last` must be beyond done().
  std::int64_t Next(std::int64_t last);

 private:
  bool AwaitActivity(std::int64_t milliseconds);

  Run& run_;
  std::int64_t origin_;
  std::int64_t done_ = 0;
};

}  // namespace vornask
