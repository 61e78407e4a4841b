// Loads libqx5dll.so with dlopen and calls exports named on the command line, one result line
// each: "count -1", "port 0 false", "version 2.2.0.18", "error <text>".
#include <dlfcn.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "qx5dll.h"

template <class F>
F bind(void* library, const char* name) {
  void* symbol = dlsym(library, name);
  if (!symbol) {
    std::fprintf(stderr, "missing %s\n", name);
    std::exit(2);
  }
  return reinterpret_cast<F>(symbol);
}

int main(int argc, char** argv) {
  if (argc < 2) return 2;
  void* library = dlopen(argv[1], RTLD_NOW);
  if (!library) {
    std::fprintf(stderr, "%s\n", dlerror());
    return 1;
  }
  auto getDeviceCount = bind<int32_t (*)()>(library, "GetDeviceCount");
  auto usbPort = bind<bool (*)(unsigned char)>(library, "UsbPort");
  auto getDllVersion = bind<BSTR (*)()>(library, "GetDLLVersion");
  auto getErrorMessage = bind<BSTR (*)()>(library, "GetErrorMessage");
  auto sysFreeString = bind<void (*)(BSTR)>(library, "SysFreeString");
  auto text = [&](BSTR s) {
    std::string result = s ? s : "<null>";
    sysFreeString(s);
    for (char& c : result)
      if (c == '\n') c = '|';
    return result;
  };
  for (int i = 2; i < argc; ++i) {
    const std::string word = argv[i];
    if (word == "count") std::printf("count %d\n", getDeviceCount());
    if (word == "port0") std::printf("port 0 %s\n", usbPort(0) ? "true" : "false");
    if (word == "version") std::printf("version %s\n", text(getDllVersion()).c_str());
    if (word == "error") std::printf("error %s\n", text(getErrorMessage()).c_str());
  }
  return 0;
}
