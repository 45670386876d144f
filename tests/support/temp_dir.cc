#include "support/temp_dir.h"

#include <gtest/gtest.h>

#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace vornask::testing {

TempDir::TempDir() {
  // create_directory reports whether it made the directory, so a name that
  // another test took first is simply passed over.
  std::random_device seed;
  std::mt19937_64 pick(seed());
  for (int attempt = 0; attempt < 100; ++attempt) {
    const std::filesystem::path candidate =
        std::filesystem::temp_directory_path() / ("vornask-test-" + std::to_string(pick() % 1'000'000'000'000));
    if (std::filesystem::create_directory(candidate)) {
      std::filesystem::permissions(candidate, std::filesystem::perms::owner_all,
                                   std::filesystem::perm_options::replace);
      path_ = candidate;
      return;
    }
  }
  throw std::runtime_error("no fresh temporary directory");
}

TempDir::~TempDir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all, std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

std::string ReadFile(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteFile(const std::filesystem::path& path, const std::string& text) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out << text;
}

std::vector<std::string> ReadCrLfLines(const std::filesystem::path& path) {
  const std::string text = ReadFile(path);
  std::vector<std::string> lines;
  std::size_t start = 0;
  while (start < text.size()) {
    const std::size_t end = text.find("\r\n", start);
    if (end == std::string::npos) {
      ADD_FAILURE() << "line without CR LF at the end of " << path << ": " << text.substr(start);
      break;
    }
    const std::string line = text.substr(start, end - start);
    EXPECT_EQ(line.find_first_of("\r\n"), std::string::npos) << "stray line break in: " << line;
    lines.push_back(line);
    start = end + 2;
  }
  return lines;
}

}  // namespace vornask::testing
