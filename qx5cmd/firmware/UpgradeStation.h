// The unattended upgrade station: every gauge plugged in is brought to a firmware release (and,
// in the second variant, has its settings made its factory defaults). Their bind puts the
// program into station mode, whose loop hands each newly attached gauge to run().
#pragma once

#include <memory>
#include <string>

#include "qx5cmd/firmware/BootloaderChecks.h"
#include "qx5cmd/firmware/StationRecord.h"

namespace qx5cmd {

class aFirmwareUpgradeStation : public aDownload {
 public:
  aFirmwareUpgradeStation(const char* name, const char* description)
      : aDownload(name, description, {"file_name", "firmware_version", "eeprom_version"}) {}
  bool bind() override;
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override { return upgrade(false); }
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aFirmwareUpgradeStation>(name, description);
  }

 protected:
  // One gauge, recorded in the day's station record; with `copyToDefaults` its settings also
  // become its factory defaults.
  bool upgrade(bool copyToDefaults);

 private:
  bool upgradeGauge(bool copyToDefaults, StationRecordEntry& entry);
  bool saveSettingsOnly(int serial, bool copyToDefaults, StationRecordEntry& entry);

  std::string firmwareVersion_;  // what the gauge reports once it runs the release
};

class aFirmwareUpgradeAndSaveSettingsStation : public aFirmwareUpgradeStation {
 public:
  using aFirmwareUpgradeStation::aFirmwareUpgradeStation;
  bool run() override { return upgrade(true); }
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aFirmwareUpgradeAndSaveSettingsStation>(name, description);
  }
};

}  // namespace qx5cmd
