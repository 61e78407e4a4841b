#include <windows.h>

#include "qx5cmd/core/DynamicLibrary.h"

namespace qx5cmd {

void* DynamicLibrary::open(const std::string& path, std::string& error) {
  HMODULE module = LoadLibraryA(path.c_str());
  if (!module) {
    const DWORD code = GetLastError();
    char text[512];
    DWORD length = FormatMessageA(FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
                                  nullptr, code, 0, text, sizeof text, nullptr);
    while (length > 0 && static_cast<unsigned char>(text[length - 1]) <= 0x20) --length;
    error = length ? std::string(text, length) : "error " + std::to_string(code);
  }
  return reinterpret_cast<void*>(module);
}

void* DynamicLibrary::symbol(void* module, const char* name) {
  if (!module || !name) return nullptr;
  return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(module), name));
}

void* DynamicLibrary::oleAutomation(void* /*library*/) {
  static HMODULE oleaut32 = LoadLibraryA("oleaut32.dll");
  return reinterpret_cast<void*>(oleaut32);
}

}  // namespace qx5cmd
