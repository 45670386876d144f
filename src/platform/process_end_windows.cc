#include <windows.h>

#include "platform/process_end.h"

namespace vornask {

void EndProcessNow(int status) { ExitProcess(static_cast<UINT>(status)); }

}  // namespace vornask
