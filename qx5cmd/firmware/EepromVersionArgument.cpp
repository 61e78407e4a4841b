#include "qx5cmd/firmware/EepromVersionArgument.h"

#include <cstdio>

#include "qx5cmd/core/Text.h"

namespace qx5cmd {

bool parseEepromVersion(const std::string& text, const char* testName, int& version) {
  int value = 0;
  if (!parseDecimalInt(text, value)) {
    std::fprintf(stderr, " bad integer argument '%s' to %s", text.c_str(), testName);
    return false;
  }
  if (value < 16 || value > 17) {
    std::fprintf(stderr, " expected 16 or 17 for eeprom version");
    return false;
  }
  version = value;
  return true;
}

}  // namespace qx5cmd
