// QX5SIM_LATENCY_MS and QX5SIM_BUS: how long a transfer takes on a bus. The bus runs in frames;
// a transfer ends at the boundary of the first frame after it was asked for that still has room.
// A gauge's own bus carries one transfer per frame; the shared bus, all gauges on one full-speed
// hub, carries at most 19 transfers of 64 bytes per frame for all of them together.
#pragma once

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>

#include "gaugesim/model/Gauge.h"
#include "qx5_dll/platform/Clock.h"

namespace qx5::sim {

// When frame 0 began: the first transfer on any bus that shares it. Buses of one host
// controller share their frame timing, however their bandwidth is divided.
class FrameOrigin {
 public:
  // The origin, set to `now` by its first caller.
  TimePoint startAt(TimePoint now);

 private:
  std::atomic<TimePoint::rep> start_{0};
};

// A full-speed frame lasts 1 ms and carries at most 19 bulk transfers of 64 bytes.
inline constexpr std::uint32_t kFullSpeedFrameMs = 1;
inline constexpr std::uint32_t kFullSpeedTransfersPerFrame = 19;

class BusLatency {
 public:
  // Frames of `frameMs` (0: no frames, no waiting), each carrying `transfersPerFrame`, counted
  // from `origin`.
  BusLatency(std::uint32_t frameMs, std::uint32_t transfersPerFrame, platform::Clock& clock,
             std::shared_ptr<FrameOrigin> origin)
      : frameMs_(frameMs),
        transfersPerFrame_(transfersPerFrame ? transfersPerFrame : 1),
        clock_(clock),
        origin_(std::move(origin)) {}
  // Books a transfer asked for now: the end of its frame (now when the bus has no frames).
  TimePoint book();
  // Books a transfer and sleeps until its frame has passed.
  void waitForFrame();

 private:
  std::uint32_t frameMs_;
  std::uint32_t transfersPerFrame_;
  platform::Clock& clock_;
  std::shared_ptr<FrameOrigin> origin_;  // frame n ends n whole frames after it
  std::mutex mutex_;
  // Transfers booked in the frames still to end, by frame number.
  std::map<std::int64_t, std::uint32_t> booked_;
};

}  // namespace qx5::sim
