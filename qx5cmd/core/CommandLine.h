// Options and test words of the command line, and the usage text.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// Reads `words` (the first is the program name) into `options` and `runList`. Returns the
// exit status when the program is to stop here (after the usage text or a message).
std::optional<int> parseCommandLine(const std::vector<std::string>& words,
                                    const TestRegistry& registry, Session& session,
                                    RunList& runList);

// Writes the usage text to standard error, after "program: message" when there is a message;
// returns the exit status: -1 with a message, 0 without.
int printUsage(const TestRegistry& registry, const Session& session, const char* message);

}  // namespace qx5cmd
