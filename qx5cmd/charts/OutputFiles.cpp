#include "qx5cmd/charts/OutputFiles.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <mutex>
#include <set>
#include <system_error>

namespace qx5cmd::charts {
namespace {

std::string lastError() { return std::strerror(errno); }

// Writes all of `text`; false when any of it or the close failed.
bool writeAll(std::FILE* file, const std::string& text) {
  const bool written = std::fwrite(text.data(), 1, text.size(), file) == text.size();
  const int error = errno;
  const bool closed = std::fclose(file) == 0;
  if (!written) errno = error;
  return written && closed;
}

}  // namespace

bool replaceFile(const std::string& path, const std::string& text, std::string& why) {
  const std::string temporary = path + ".tmp";
  std::FILE* file = std::fopen(temporary.c_str(), "wb");
  if (!file) {
    why = lastError();
    return false;
  }
  std::error_code ignored;
  if (!writeAll(file, text)) {
    why = lastError();
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  // Replaces an existing file in one step on both POSIX and Windows.
  std::error_code error;
  std::filesystem::rename(temporary, path, error);
  if (error) {
    why = error.message();
    std::filesystem::remove(temporary, ignored);
    return false;
  }
  return true;
}

bool appendLine(const std::string& path, const std::string& line, const std::string& header,
                std::string& why) {
  std::FILE* file = std::fopen(path.c_str(), "ab");
  if (!file) {
    why = lastError();
    return false;
  }
  // "a" puts the position at the end: 0 there means a new or empty file.
  std::fseek(file, 0, SEEK_END);
  const bool empty = std::ftell(file) == 0;
  if (!writeAll(file, (empty ? header : std::string()) + line)) {
    why = lastError();
    return false;
  }
  return true;
}

void reportUnwritable(const std::string& path, const std::string& why) {
  static std::mutex lock;
  static std::set<std::string> reported;
  std::lock_guard held(lock);
  if (reported.insert(path).second)
    std::fprintf(stderr, "can't write %s: %s\n", path.c_str(), why.c_str());
}

void replaceOrReport(const std::string& path, const std::string& text) {
  std::string why;
  if (!replaceFile(path, text, why)) reportUnwritable(path, why);
}

}  // namespace qx5cmd::charts
