// The system's own text for an error code (errno here, a Windows or Winsock
// code there), in UTF-8 like every other text inside the program.
#pragma once

#include <string>

namespace vornask {

std::string SystemErrorText(int code);

}  // namespace vornask
