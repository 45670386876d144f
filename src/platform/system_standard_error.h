// The process's own standard error, for the entry to hand to the run.
#pragma once

#include "platform/standard_error.h"

namespace vornask {

StandardError& SystemStandardError();

}  // namespace vornask
