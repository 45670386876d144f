// The real clock, sleep and time zone, for the entry to hand to the run.
#pragma once

#include "platform/env.h"

namespace vornask {

Env& SystemEnv();

}  // namespace vornask
