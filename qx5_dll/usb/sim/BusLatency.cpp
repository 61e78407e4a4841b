#include "qx5_dll/usb/sim/BusLatency.h"

namespace qx5::sim {

void BusLatency::waitForFrame() {
  if (frameMs_ == 0) return;
  const auto frame = std::chrono::milliseconds(frameMs_);
  TimePoint end;
  {
    std::lock_guard lock(mutex_);
    const TimePoint now = clock_.now();
    if (busStart_ == TimePoint{}) busStart_ = now;
    // The frame boundary after now, and never the frame of the previous transfer: a caller that
    // woke late gets the frame it asked for, so late wake-ups do not add up over a burst.
    end = busStart_ + ((now - busStart_) / frame + 1) * frame;
    if (end <= lastFrameEnd_) end = lastFrameEnd_ + frame;
    lastFrameEnd_ = end;
  }
  clock_.sleepUntil(end);
}

}  // namespace qx5::sim
