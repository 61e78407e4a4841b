// A shared library loaded at run time: the library binds the system's USB stack this way (it
// links against none of it and still loads where it is missing), and the tester binds the
// library itself.
#pragma once

#include <string>

namespace qx5::platform {

class DynamicLibrary {
 public:
  enum class Lifetime {
    UntilDestroyed,  // unloaded with this object
    Process,         // stays loaded until the process ends
  };
  // A bare file name goes through the system search path.
  explicit DynamicLibrary(const std::string& fileName,
                          Lifetime lifetime = Lifetime::UntilDestroyed);
  ~DynamicLibrary();
  DynamicLibrary(const DynamicLibrary&) = delete;
  DynamicLibrary& operator=(const DynamicLibrary&) = delete;

  bool isLoaded() const { return handle_ != nullptr; }
  const std::string& fileName() const { return fileName_; }
  // Why the load or the last lookup failed; empty after success.
  const std::string& lastError() const { return lastError_; }

  // The export's address; null when the library is not loaded or lacks the name.
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
  Lifetime lifetime_;
};

// The module whose SysAllocStringByteLen and SysFreeString go with `library`'s strings: the
// library itself where it carries its own OLE-automation layer, the system's oleaut32 on Windows.
DynamicLibrary& oleAutomationFor(DynamicLibrary& library);

}  // namespace qx5::platform
