// watchdog: asks the firmware to busy-wait ever longer, until the gauge restarts (its version
// text changes or it stops answering). The last delay printed is the one that tripped it.
#pragma once

#include <string>

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

inline constexpr int kWatchdogFirstDelayMs = 100;
inline constexpr int kWatchdogDelayStepMs = 100;
inline constexpr int kWatchdogLastDelayMs = 9900;

class aWatchdogTest : public ClonableTest<aWatchdogTest> {
 public:
  aWatchdogTest(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::string firmwareVersion_;
};

}  // namespace qx5cmd
