// check_ranges: steps through every measuring device of the gauge with its DEVICE key and
// through every range of each with its RANGE key, listing each once.
#pragma once

#include <functional>
#include <string>

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// A gauge whose list never comes back to its first entry must not hang the tester.
inline constexpr int kMaxDevices = 64;
inline constexpr int kMaxRangesPerDevice = 64;

// What the walk needs of a gauge.
struct RangeWalkGauge {
  std::function<std::string()> deviceName;
  std::function<std::string()> deviceRanges;
  std::function<std::string()> deviceRange;
  std::function<void(int button)> pushButton;
};

inline constexpr int kDeviceButton = 0;
inline constexpr int kRangeButton = 2;

// Prints the device, ranges and range lines. False when the walk stopped early: at a bound
// (said on the console) or on a break.
bool walkDevicesAndRanges(const RangeWalkGauge& gauge);

class aCheckRanges : public ClonableTest<aCheckRanges> {
 public:
  aCheckRanges(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;
};

}  // namespace qx5cmd
