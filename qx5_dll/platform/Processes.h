// Other processes on the machine and the files they have mapped, for the single-process guard.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qx5::platform {

int currentProcessId();

// Identifiers of the running processes; nullopt when they cannot be listed at all.
std::optional<std::vector<int>> listProcessIds();

// Paths of the files mapped into process `pid`; nullopt when the process has gone or may not
// be inspected.
std::optional<std::vector<std::string>> mappedFilePaths(int pid);

// Base name of the program file of process `pid`; empty when unknown.
std::string executableBaseName(int pid);

// File name (without folder) of the module that holds this code: the shared library when the
// code runs from it, the program otherwise.
std::string ownModuleFileName();

}  // namespace qx5::platform
