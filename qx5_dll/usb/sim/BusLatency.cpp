#include "qx5_dll/usb/sim/BusLatency.h"

namespace qx5::sim {

TimePoint FrameOrigin::startAt(TimePoint now) {
  TimePoint::rep expected = 0;
  if (start_.compare_exchange_strong(expected, now.time_since_epoch().count())) return now;
  return TimePoint(TimePoint::duration(expected));
}

TimePoint BusLatency::book() {
  if (frameMs_ == 0) return clock_.now();
  const auto frame = std::chrono::milliseconds(frameMs_);
  std::lock_guard lock(mutex_);
  // Read under the lock: callers on other threads then book in the order of their times.
  const TimePoint now = clock_.now();
  const TimePoint start = origin_->startAt(now);
  // The frame that ends after now, and never a full one: a caller that woke late still gets
  // the next free frame, so late wake-ups do not add up over a burst.
  std::int64_t number = (now - start) / frame + 1;
  booked_.erase(booked_.begin(), booked_.lower_bound(number));
  while (booked_[number] >= transfersPerFrame_) ++number;
  ++booked_[number];
  return start + number * frame;
}

void BusLatency::waitForFrame() {
  if (frameMs_ == 0) return;
  clock_.sleepUntil(book());
}

}  // namespace qx5::sim
