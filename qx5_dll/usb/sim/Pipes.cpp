#include "qx5_dll/usb/sim/Pipes.h"

#include <algorithm>
#include <atomic>

namespace qx5::sim {
namespace {

// A pipe without a timeout would wait for ever on a silent gauge; this stands in.
constexpr std::uint32_t kDefaultPipeTimeoutMs = 2000;

std::atomic<std::uint32_t> timeoutCeiling{0};

}  // namespace

void setTimeoutCeilingMs(std::uint32_t milliseconds) { timeoutCeiling = milliseconds; }

std::uint32_t timeoutCeilingMs() { return timeoutCeiling; }

std::uint32_t readWaitMs(const std::map<std::uint8_t, std::uint32_t>& timeouts) {
  const auto timeout = timeouts.find(kInPipe);
  std::uint32_t waitMs =
      timeout == timeouts.end() || timeout->second == 0 ? kDefaultPipeTimeoutMs : timeout->second;
  if (const std::uint32_t ceiling = timeoutCeiling; ceiling) waitMs = std::min(waitMs, ceiling);
  return waitMs;
}

std::optional<std::vector<std::uint8_t>> InPipe::takeDue(TimePoint now) {
  if (queue_.empty() || queue_.front().readyAt > now) return std::nullopt;
  std::vector<std::uint8_t> bytes = std::move(queue_.front().bytes);
  queue_.pop_front();
  return bytes;
}

std::optional<TimePoint> InPipe::nextDue() const {
  if (queue_.empty()) return std::nullopt;
  return queue_.front().readyAt;
}

}  // namespace qx5::sim
