#include "qx5_dll/diagnostics/ProcessGuard.h"

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/Processes.h"

namespace qx5 {

namespace {

std::string& guardedFileNameOverride() {
  static std::string name;
  return name;
}

bool& seesThisProcessOnly() {
  static bool only = false;
  return only;
}

bool processUsesLibrary(int pid, const std::string& libraryFileName) {
  const auto paths = platform::mappedFilePaths(pid);
  if (!paths) return false;  // gone meanwhile, or not ours to inspect
  for (const std::string& path : *paths) {
    if (path.find(libraryFileName) != std::string::npos) return true;
  }
  return false;
}

}  // namespace

void setGuardedFileName(const std::string& fileName) { guardedFileNameOverride() = fileName; }

void setGuardSeesThisProcessOnly(bool only) { seesThisProcessOnly() = only; }

int CountQX5DLL() {
  const std::string& name = guardedFileNameOverride();
  return CountQX5DLL(name.empty() ? platform::ownModuleFileName() : name);
}

int CountQX5DLL(const std::string& libraryFileName) {
  QX5_LOG_SCOPE(scope, "CountQX5DLL", "CountQX5DLL");
  const int self = platform::currentProcessId();
  const auto ids = seesThisProcessOnly() ? std::vector<int>{self} : platform::listProcessIds();
  if (!ids || libraryFileName.empty()) return -1;
  scope.Detail("current processid = %d", self);
  int count = 0;
  for (const int pid : *ids) {
    if (pid == self || !processUsesLibrary(pid, libraryFileName)) continue;
    scope.Error("qx5dll.dll is being used by process %d \"%s\"", pid,
                platform::executableBaseName(pid).c_str());
    ++count;
  }
  return count;
}

}  // namespace qx5
