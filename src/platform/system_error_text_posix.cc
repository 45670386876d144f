#include <system_error>

#include "platform/system_error_text.h"

namespace vornask {

std::string SystemErrorText(int code) { return std::generic_category().message(code); }

}  // namespace vornask
