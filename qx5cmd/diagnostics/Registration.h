// Puts the developer diagnostics into the registry, after the other tests.
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

void registerDiagnosticTests(TestRegistry& registry);

}  // namespace qx5cmd
