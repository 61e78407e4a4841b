// Setting and clearing environment variables from tests, on both C runtimes.
#pragma once

#include <cstdlib>
#include <string>

namespace qx5::test {

inline void setEnvironment(const std::string& name, const std::string& value) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), value.c_str());
#else
  setenv(name.c_str(), value.c_str(), 1);
#endif
}

inline void clearEnvironment(const std::string& name) {
#if defined(_WIN32)
  _putenv_s(name.c_str(), "");  // an empty value removes the variable there
#else
  unsetenv(name.c_str());
#endif
}

}  // namespace qx5::test
