// The eeprom_version argument of the download, EEPROM and station tests.
#pragma once

#include <string>

namespace qx5cmd {

// 16 or 17 into `version`; otherwise says why on standard error and returns false.
bool parseEepromVersion(const std::string& text, const char* testName, int& version);

}  // namespace qx5cmd
