#include "qx5_dll/usb/sim/BusLatency.h"

namespace qx5::sim {

TimePoint BusLatency::book() {
  if (frameMs_ == 0) return clock_.now();
  const auto frame = std::chrono::milliseconds(frameMs_);
  std::lock_guard lock(mutex_);
  // Read under the lock: callers on other threads then book in the order of their times.
  const TimePoint now = clock_.now();
  if (busStart_ == TimePoint{}) busStart_ = now;
  // The frame that ends after now, and never a full one: a caller that woke late still gets
  // the next free frame, so late wake-ups do not add up over a burst.
  std::int64_t number = (now - busStart_) / frame + 1;
  booked_.erase(booked_.begin(), booked_.lower_bound(number));
  while (booked_[number] >= transfersPerFrame_) ++number;
  ++booked_[number];
  return busStart_ + number * frame;
}

void BusLatency::waitForFrame() {
  if (frameMs_ == 0) return;
  clock_.sleepUntil(book());
}

}  // namespace qx5::sim
