// The built libqx5dll.so copied under a file name of this test process's own. The library's
// single-process guard refuses while any other process maps a file of its own name, and other
// test runs on the machine load libqx5dll.so too: loaded from the copy, the library sees only
// the processes this test starts with it.
#pragma once

#include <unistd.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

namespace qx5::test {

class PrivateLibraryCopy {
 public:
  PrivateLibraryCopy() : path_(dir_.file("libqx5dll_" + std::to_string(getpid()) + ".so")) {
    std::filesystem::copy_file(std::string(QX5_BIN_DIR) + "/libqx5dll.so", path_);
  }
  const std::string& path() const { return path_; }

 private:
  TempDir dir_;
  std::string path_;
};

// One copy for the whole test program, removed when it ends.
inline const std::string& privateLibrary() {
  static const PrivateLibraryCopy copy;
  return copy.path();
}

}  // namespace qx5::test
