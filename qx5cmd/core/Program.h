// Start-up to exit: register the tests, read the command line, load the library, prepare the
// tests, run the gauge or station loop, print the statistics.
#pragma once

#include <string>
#include <vector>

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// Returns the exit status.
int runProgram(const std::vector<std::string>& words, const std::vector<RegistrationStep>& steps);

}  // namespace qx5cmd
