#include "platform/executable_directory.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace vornask::testing {
namespace {

namespace fs = std::filesystem;

TEST(ExecutableDirectory, IsTheDirectoryOfTheRunningExecutable) {
  const fs::path exe = fs::read_symlink("/proc/self/exe");
  EXPECT_EQ(fs::path(ExecutableDirectory()), exe.parent_path());
}

}  // namespace
}  // namespace vornask::testing
