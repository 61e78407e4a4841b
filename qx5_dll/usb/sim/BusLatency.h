// QX5SIM_LATENCY_MS: the bus's frame. A transfer ends at the frame boundary after it was asked
// for, one transfer per frame.
#pragma once

#include <cstdint>
#include <mutex>

#include "gaugesim/model/Gauge.h"
#include "qx5_dll/platform/Clock.h"

namespace qx5::sim {

class BusLatency {
 public:
  BusLatency(std::uint32_t frameMs, platform::Clock& clock) : frameMs_(frameMs), clock_(clock) {}
  // Sleeps until the transfer's frame has passed (no wait without latency).
  void waitForFrame();

 private:
  std::uint32_t frameMs_;
  platform::Clock& clock_;
  std::mutex mutex_;
  TimePoint busStart_{};  // frame boundaries fall whole frames after it
  TimePoint lastFrameEnd_{};
};

}  // namespace qx5::sim
