// A shared library loaded at run time, so the library itself links against nothing of the
// system's USB stack and still loads where that stack is missing.
#pragma once

#include <string>

namespace qx5::platform {

class DynamicLibrary {
 public:
  explicit DynamicLibrary(const std::string& fileName);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool isLoaded() const { return handle_ != nullptr; }
  const std::string& fileName() const { return fileName_; }
  // Why the load or the last lookup failed; empty after success.
  const std::string& lastError() const { return lastError_; }

  void* symbol(const char* name);

  // Binds `function` to the exported `name`; false (and a null pointer) when it is missing.
  template <class Function>
  bool bind(const char* name, Function*& function) {
    function = reinterpret_cast<Function*>(symbol(name));
    return function != nullptr;
  }

 private:
  std::string fileName_;
  std::string lastError_;
  void* handle_ = nullptr;
};

}  // namespace qx5::platform
