#include "qx5cmd/core/DynamicLibrary.h"

#include <dlfcn.h>

namespace qx5cmd {

void* DynamicLibrary::open(const std::string& path, std::string& error) {
  void* module = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!module) {
    const char* why = dlerror();
    error = why ? why : "unknown error";
  }
  return module;
}

void* DynamicLibrary::symbol(void* module, const char* name) {
  if (!module || !name) return nullptr;
  return dlsym(module, name);
}

void* DynamicLibrary::oleAutomation(void* library) { return library; }

}  // namespace qx5cmd
