#include <stdexcept>

#include "run/run_state.h"

namespace vornask {

void Delay(Run& run, std::int16_t ms) {
  const int slices = ms / 10;
  for (int slice = 0; slice < slices; ++slice) {
    run.env.SleepMilliseconds(10);
    if (run.events == nullptr) throw std::logic_error("no receiver for the client's events");
    // A failure leaving an event handler belongs to no procedure of the run:
    // the one whose wait happened to deliver the event must not catch it.
    try {
      run.client.DeliverPendingEvents(*run.events);
    } catch (const std::exception& failure) {
      throw RunAborted{failure.what()};
    }
  }
}

}  // namespace vornask
