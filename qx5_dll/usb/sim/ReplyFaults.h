// What a gauge told to misbehave (its `fault` key) does on the wire: silence, short replies,
// wrong echoes, and vanishing after some packets. Memory refusals are the model's own.
#pragma once

#include <cstdint>

#include "gaugesim/model/Faults.h"
#include "gaugesim/model/Gauge.h"

namespace qx5::sim {

// Changes the reply to `packet` as the faults say. `mismatchSpent` remembers that the first
// reply, the only one mismatch-once spoils, has gone out. `inBootloader` is the gauge's mode
// when the packet arrived (some faults are the application firmware's alone).
void applyReplyFaults(const Faults& faults, bool inBootloader, bool& mismatchSpent,
                      Response& response, const std::uint8_t* packet, std::uint32_t length);

// Whether the gauge vanishes instead of taking its next packet, after `packets` taken.
inline bool unplugsNow(const Faults& faults, long packets) {
  return faults.unplugAfter >= 0 && packets >= faults.unplugAfter;
}

}  // namespace qx5::sim
