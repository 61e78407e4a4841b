// The simulated gauge's two interrupt pipes: their endpoints, how long a read waits, and the
// replies queued on the IN pipe until they are due.
#pragma once

#include <cstdint>
#include <deque>
#include <map>
#include <optional>
#include <vector>

#include "gaugesim/model/Gauge.h"

namespace qx5::sim {

inline constexpr std::uint8_t kInPipe = 0x81;
inline constexpr std::uint8_t kOutPipe = 0x01;
inline constexpr std::uint16_t kMaxPacket = 64;

inline bool isPipe(std::uint8_t pipeId) { return pipeId == kInPipe || pipeId == kOutPipe; }

// Tests: no transfer waits longer than this, whatever the pipe's timeout (0: no ceiling).
void setTimeoutCeilingMs(std::uint32_t milliseconds);
std::uint32_t timeoutCeilingMs();

// How long a read on the IN pipe waits, from the timeouts set on an interface's pipes.
std::uint32_t readWaitMs(const std::map<std::uint8_t, std::uint32_t>& timeouts);

// The replies a gauge has put on its IN pipe, oldest first.
class InPipe {
 public:
  void push(Response response) { queue_.push_back(std::move(response)); }
  void clear() { queue_.clear(); }
  // The oldest reply's bytes if it is due at `now`, taking it off the pipe.
  std::optional<std::vector<std::uint8_t>> takeDue(TimePoint now);
  // When the oldest reply becomes due; nothing when the pipe is empty.
  std::optional<TimePoint> nextDue() const;

 private:
  std::deque<Response> queue_;
};

}  // namespace qx5::sim
