// Run-time loading of a shared library and lookup of its exports by name.
#pragma once

#include <string>

namespace qx5cmd {

class DynamicLibrary {
 public:
  // Loads `path` (a bare file name goes through the system search path). Null on failure,
  // with the reason in `error`.
  static void* open(const std::string& path, std::string& error);
  // The export's address, or null when the module is null or lacks the name.
  static void* symbol(void* module, const char* name);
  // The module whose SysAllocStringByteLen and SysFreeString go with the library's strings:
  // the library itself where it carries its own OLE-automation layer, the system's elsewhere.
  static void* oleAutomation(void* library);
};

}  // namespace qx5cmd
