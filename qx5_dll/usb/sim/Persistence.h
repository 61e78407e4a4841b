// When a simulated gauge's memory and settings are written beside its `.gauge` file (directory
// mode), so a second process finds them as the first left them.
#pragma once

#include <cstdint>

#include "gaugesim/files/Environment.h"

namespace qx5::sim {

// After a packet: a settings change is saved at once, a memory write or erase (a firmware
// download's burst) at most every 200 ms since `lastSave`.
void saveAfterPacket(Environment& environment, Gauge& gauge, std::uint8_t command,
                     TimePoint& lastSave);

}  // namespace qx5::sim
