// A fresh directory under the system's temporary directory, removed with
// everything in it when the test ends.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace vornask::testing {

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::filesystem::path operator/(const std::string& name) const { return path_ / name; }

 private:
  std::filesystem::path path_;
};

std::string ReadFile(const std::filesystem::path& path);
void WriteFile(const std::filesystem::path& path, const std::string& text);

// The file's lines, each of which must end in CR LF.
std::vector<std::string> ReadCrLfLines(const std::filesystem::path& path);

}  // namespace vornask::testing
