#include <windows.h>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Errors.h"

namespace qx5::platform {

DynamicLibrary::DynamicLibrary(const std::string& fileName) : fileName_(fileName) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(fileName.c_str()));
  if (!handle_) lastError_ = fileName + ": " + errorText(static_cast<int>(GetLastError()));
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) {
  if (!handle_) return nullptr;
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  lastError_ = address ? "" : std::string("no symbol ") + name;
  return reinterpret_cast<void*>(address);
}

}  // namespace qx5::platform
