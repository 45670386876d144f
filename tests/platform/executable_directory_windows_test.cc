#include "platform/executable_directory.h"

#include <windows.h>

#include <gtest/gtest.h>

#include <filesystem>

namespace vornask::testing {
namespace {

TEST(ExecutableDirectory, IsTheDirectoryOfTheRunningExecutable) {
  wchar_t name[MAX_PATH];
  ASSERT_GT(GetModuleFileNameW(nullptr, name, MAX_PATH), 0u);
  EXPECT_EQ(std::filesystem::u8path(ExecutableDirectory()), std::filesystem::path(name).parent_path());
}

}  // namespace
}  // namespace vornask::testing
