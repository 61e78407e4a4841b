// A clock that moves only when something sleeps on it: timeouts and latencies in whole, exact
// steps, however busy the machine is.
#pragma once

#include <atomic>

#include "qx5_dll/platform/Clock.h"

namespace qx5::test {

class ManualClock final : public platform::Clock {
 public:
  TimePoint now() override { return TimePoint(std::chrono::nanoseconds(now_.load())); }
  void sleepUntil(TimePoint until) override {
    const long long target = until.time_since_epoch() / std::chrono::nanoseconds(1);
    long long seen = now_.load();
    while (seen < target && !now_.compare_exchange_weak(seen, target)) {
    }
  }
  bool isVirtual() const override { return true; }

 private:
  std::atomic<long long> now_{std::chrono::nanoseconds(std::chrono::hours(1)).count()};
};

}  // namespace qx5::test
