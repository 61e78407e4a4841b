// Writing a firmware file into a gauge: its EEPROM brought to the wanted layout, the file's
// flash ranges erased and written through the bootloader, the new firmware started and named
// on the display. The download test and the upgrade station both run it.
#pragma once

#include <cstdint>
#include <string>

#include "qx5cmd/firmware/MemoryTransfer.h"

namespace qx5cmd {

struct FirmwareDownload {
  std::string fileStem;  // the file is <stem>.<chipset>.hex
  int eepromVersion = 17;
  // Where the station differs from the download test:
  bool copyToDefaults = false;           // the EEPROM step's copy flag
  bool eepromForBootloaderGauge = true;  // a gauge reporting the bootloader's serial gets it too
  std::string displayedVersion;          // line 2 of the display after the launch
  bool beepBeforeLaunch = true;
};

// "<stem>.<chipset>.hex".
std::string firmwareFileName(const std::string& stem, int chipset);

// The download for the gauge with `serial`; the caller has checked the gauge and beeped.
// A file that cannot be read whole fails before the gauge is touched; when only the bootloader
// tells the chipset, such a failure starts the application again. On failure `failure`, when
// given, says at which step.
bool downloadFirmware(MemoryTransfer& transfer, std::int32_t serial,
                      const FirmwareDownload& request, std::string* failure = nullptr);

}  // namespace qx5cmd
