#include "platform/process_setup.h"

namespace vornask {

// Windows has neither signal: writes fail with an error code.
void PrepareProcess() {}

}  // namespace vornask
