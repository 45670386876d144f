#include <cstdlib>

#include "platform/process_end.h"

namespace vornask {

void EndProcessNow(int status) { std::_Exit(status); }

}  // namespace vornask
