#include <filesystem>
#include <system_error>

#include "platform/executable_directory.h"

namespace vornask {

std::string ExecutableDirectory() {
  std::error_code error;
  const std::filesystem::path exe = std::filesystem::read_symlink("/proc/self/exe", error);
  // Without /proc there is no directory to look in, and so no trace file:
  // the probe still probes, untraced.
  if (error) return {};
  return exe.parent_path().string();
}

}  // namespace vornask
