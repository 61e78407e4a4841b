// Registers the firmware and EEPROM tools, the second registration step at start-up.
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

void registerFirmwareTests(TestRegistry& registry);

}  // namespace qx5cmd
