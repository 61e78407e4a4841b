// A fresh directory under the system's temp folder, removed with everything in it.
#pragma once

#include <atomic>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>

namespace qx5::test {

class TempDir {
 public:
  TempDir() {
    static std::atomic<int> counter{0};
    // Other test programs draw names here too: one that is taken is never reused or removed.
    do {
      path_ =
          std::filesystem::temp_directory_path() /
          ("qx5test_" + std::to_string(std::random_device{}()) + "_" + std::to_string(counter++));
    } while (!std::filesystem::create_directory(path_));
  }
  ~TempDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::filesystem::path& path() const { return path_; }
  std::string file(const std::string& name) const { return (path_ / name).string(); }

 private:
  std::filesystem::path path_;
};

inline std::string readFile(const std::string& name) {
  std::ifstream in(name, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// A file the program wrote as text: Windows line ends read as "\n".
inline std::string readTextFile(const std::string& name) {
  std::ifstream in(name);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace qx5::test
