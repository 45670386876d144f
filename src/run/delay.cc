#include "run/pacer.h"
#include "run/run_state.h"

namespace vornask {

void Delay(Run& run, std::int16_t ms) {
  const std::int64_t slices = ms / kSliceMilliseconds;
  if (slices <= 0) return;
  Pacer pacer(run);
  while (pacer.done() < slices) pacer.Next(slices);
}

}  // namespace vornask
