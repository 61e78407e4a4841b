// Puts the measurement tests into the registry, in the order of the usage text.
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

void registerMeasurementTests(TestRegistry& registry);

}  // namespace qx5cmd
