// Export results as text, so a table row can state what an export returns in one string.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <string>

#include "qx5dll.h"

namespace qx5::test {

// The 8-bit text a BSTR carries (oleaut32 types it as wide text; the library puts bytes in it).
inline std::string bstrBytes(BSTR text) {
  return text ? std::string(reinterpret_cast<const char*>(text), SysStringByteLen(text)) : "";
}
inline BSTR bstrOf(const char* text) {
  return SysAllocStringByteLen(text, static_cast<unsigned>(std::strlen(text)));
}

inline std::string show(bool value) { return value ? "true" : "false"; }
inline std::string show(float value) {
  char text[32];
  std::snprintf(text, sizeof text, "%g", value);
  return text;
}
inline std::string show(int value) { return std::to_string(value); }
inline std::string show(unsigned char value) { return std::to_string(value); }
inline std::string show(std::int16_t value) { return std::to_string(value); }
// Takes the string: "null", or the text in quotes.
inline std::string show(BSTR text) {
  if (!text) return "null";
  std::string result = bstrBytes(text);
  SysFreeString(text);
  return "\"" + result + "\"";
}

}  // namespace qx5::test
