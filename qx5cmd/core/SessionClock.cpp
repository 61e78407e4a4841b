#include "qx5cmd/core/SessionClock.h"

#include <chrono>
#include <cstdint>

#include "qx5_dll/platform/Clock.h"

namespace qx5cmd {

void followVirtualClock(Session& s) {
  qx5::platform::Clock& clock = qx5::platform::processClock();
  if (!clock.isVirtual()) return;
  s.sleep = [](int milliseconds) {
    if (milliseconds > 0)
      qx5::platform::processClock().sleepFor(std::chrono::milliseconds(milliseconds));
  };
  s.tickCount = [] {
    const auto since = qx5::platform::processClock().now().time_since_epoch();
    return static_cast<std::uint32_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(since).count());
  };
}

}  // namespace qx5cmd
