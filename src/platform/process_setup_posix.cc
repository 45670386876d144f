#include <csignal>

#include "platform/process_setup.h"

namespace vornask {

void PrepareProcess() {
  std::signal(SIGXFSZ, SIG_IGN);
  std::signal(SIGPIPE, SIG_IGN);
}

}  // namespace vornask
