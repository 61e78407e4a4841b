#include "qx5_dll/platform/Clock.h"

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <mutex>
#include <string>
#include <thread>

namespace qx5::platform {
namespace {

class SteadyClock final : public Clock {
 public:
  TimePoint now() override { return std::chrono::steady_clock::now(); }
  void sleepUntil(TimePoint until) override {
    // Some thread libraries wake a little before the time asked for.
    while (std::chrono::steady_clock::now() < until) std::this_thread::sleep_until(until);
  }
  bool isVirtual() const override { return false; }
};

// Nanoseconds since the clock's start, as decimal text in the file; a missing or empty file is
// the start. The start is an hour after the steady clock's epoch, so no reading is ever the
// default-constructed time point.
class VirtualClock final : public Clock {
 public:
  explicit VirtualClock(std::string path) : path_(std::move(path)) {}

  TimePoint now() override {
    std::lock_guard lock(mutex_);
    return kStart + std::chrono::nanoseconds(readLocked());
  }

  void sleepUntil(TimePoint until) override {
    std::lock_guard lock(mutex_);
    const long long target = (until - kStart) / std::chrono::nanoseconds(1);
    if (target <= readLocked()) return;
    latest_ = target;
    // Another copy of this clock (the library's beside the tester's, each with its own mutex)
    // may write an earlier time over ours between our read and write: write again until the
    // file holds ours or a later one, so the file's time never stays behind.
    for (int attempt = 0; attempt < 8; ++attempt) {
      std::ofstream(path_, std::ios::trunc) << latest_;
      if (stored() >= latest_) break;
    }
  }

  bool isVirtual() const override { return true; }

 private:
  static constexpr TimePoint kStart{std::chrono::hours(1)};

  // Never earlier than this copy has seen: time does not run back even if a write is caught
  // half done.
  long long readLocked() {
    latest_ = std::max(latest_, stored());
    return latest_;
  }
  long long stored() const {
    long long value = 0;
    std::ifstream(path_) >> value;
    return value;
  }

  std::mutex mutex_;
  const std::string path_;
  long long latest_ = 0;
};

}  // namespace

Clock& processClock() {
  // Never destroyed: the library's last calls can come from static destructors.
  static Clock* const clock = []() -> Clock* {
    const char* path = std::getenv("QX5_VIRTUAL_CLOCK");
    if (path && *path) return new VirtualClock(path);
    return new SteadyClock;
  }();
  return *clock;
}

}  // namespace qx5::platform
