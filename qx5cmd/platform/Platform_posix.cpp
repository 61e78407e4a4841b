#include "qx5cmd/platform/Platform.h"

#include <time.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <thread>

namespace qx5cmd::platform {

std::int64_t performanceCounter() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  // +1 keeps a reading from ever being 0, which the statistics take as "not running".
  return static_cast<std::int64_t>(ts.tv_sec) * 1000000000 + ts.tv_nsec + 1;
}

std::int64_t performanceFrequency() { return 1000000000; }

std::uint32_t tickCountMs() {
  timespec ts{};
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return static_cast<std::uint32_t>(static_cast<std::uint64_t>(ts.tv_sec) * 1000 +
                                    static_cast<std::uint64_t>(ts.tv_nsec) / 1000000);
}

void sleepMs(int milliseconds) {
  if (milliseconds > 0) std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
}

std::string localTimeText(const char* format) {
  time_t now = time(nullptr);
  tm local{};
  localtime_r(&now, &local);
  char text[128];
  std::size_t n = strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

std::string executableDirectory() {
  std::error_code ec;
  auto self = std::filesystem::read_symlink("/proc/self/exe", ec);
  if (ec) return {};
  return self.parent_path().string();
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

std::FILE* createNewTextFile(const std::string& path) { return std::fopen(path.c_str(), "wx"); }

void lineBufferStandardOutput() { std::setvbuf(stdout, nullptr, _IOLBF, 0); }

void beep() {
  std::fputc('\a', stdout);
  std::fflush(stdout);
}

int raiseTimerResolution() { return 0; }
void restoreTimerResolution(int) {}
void keepSystemAwake() {}

}  // namespace qx5cmd::platform
