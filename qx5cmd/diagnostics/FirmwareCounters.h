// get_sizes and get_timing: the firmware's structure sizes and its internal counters.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "qx5cmd/core/TestRegistry.h"
#include "qx5cmd/diagnostics/FirmwareTestCall.h"

namespace qx5cmd {

inline constexpr std::size_t kFirmwareCounters = 13;
using CounterBlock = std::array<std::uint16_t, kFirmwareCounters>;

CounterBlock decodeCounters(const FirmwareTestOutput& output);
// One "label value" line per counter that is not zero.
std::string nonZeroCounters(const CounterBlock& block);
// later - earlier per counter, in 16 bits (the counters wrap).
CounterBlock counterDifferences(const CounterBlock& earlier, const CounterBlock& later);

inline constexpr int kTimingWaitMs = 10000;

class aGetSizes : public ClonableTest<aGetSizes> {
 public:
  aGetSizes(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  // Fails when the gauge does not answer, rather than printing sizes of 0.
  bool run() override;
};

class aGetTiming : public ClonableTest<aGetTiming> {
 public:
  aGetTiming(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  // Fails when a block cannot be read (its differences would be meaningless) or on a break.
  bool run() override;
};

}  // namespace qx5cmd
