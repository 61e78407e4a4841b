// QX5SIM_LATENCY_MS: the bus's frame. A transfer ends at the frame boundary after it was asked
// for, one transfer per frame.
#pragma once

#include <cstdint>
#include <mutex>

#include "gaugesim/model/Gauge.h"

namespace qx5::sim {

class BusLatency {
 public:
  explicit BusLatency(std::uint32_t frameMs) : frameMs_(frameMs) {}
  // Sleeps until the transfer's frame has passed (no wait without latency).
  void waitForFrame();

 private:
  std::uint32_t frameMs_;
  std::mutex mutex_;
  TimePoint busStart_{};  // frame boundaries fall whole frames after it
  TimePoint lastFrameEnd_{};
};

}  // namespace qx5::sim
