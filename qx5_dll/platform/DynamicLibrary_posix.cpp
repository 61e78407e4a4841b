#include "qx5_dll/platform/DynamicLibrary.h"

#include <dlfcn.h>

namespace qx5::platform {

namespace {
std::string takeDlError() {
  const char* text = dlerror();
  return text ? text : "";
}
}  // namespace

DynamicLibrary::DynamicLibrary(const std::string& fileName, Lifetime lifetime)
    : fileName_(fileName), lifetime_(lifetime) {
  handle_ = dlopen(fileName.c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) lastError_ = takeDlError();
}

DynamicLibrary::~DynamicLibrary() {
  if (handle_ && lifetime_ == Lifetime::UntilDestroyed) dlclose(handle_);
}

void* DynamicLibrary::symbol(const char* name) {
  if (!handle_ || !name) return nullptr;
  dlerror();
  void* address = dlsym(handle_, name);
  lastError_ = address ? "" : takeDlError();
  if (!address && lastError_.empty()) lastError_ = std::string("no symbol ") + name;
  return address;
}

DynamicLibrary& oleAutomationFor(DynamicLibrary& library) { return library; }

}  // namespace qx5::platform
