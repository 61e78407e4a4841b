#include <windows.h>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Errors.h"

namespace qx5::platform {

DynamicLibrary::DynamicLibrary(const std::string& fileName, Lifetime lifetime)
    : fileName_(fileName), lifetime_(lifetime) {
  handle_ = reinterpret_cast<void*>(LoadLibraryA(fileName.c_str()));
  if (!handle_) lastError_ = errorText(static_cast<int>(GetLastError()));
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ && lifetime_ == Lifetime::UntilDestroyed) FreeLibrary(static_cast<HMODULE>(handle_));
}

void* DynamicLibrary::symbol(const char* name) {
  if (!handle_ || !name) return nullptr;
  const FARPROC address = GetProcAddress(static_cast<HMODULE>(handle_), name);
  lastError_ = address ? "" : std::string("no symbol ") + name;
  return reinterpret_cast<void*>(address);
}

DynamicLibrary& oleAutomationFor(DynamicLibrary& /*library*/) {
  static DynamicLibrary oleaut32("oleaut32.dll", DynamicLibrary::Lifetime::Process);
  return oleaut32;
}

}  // namespace qx5::platform
