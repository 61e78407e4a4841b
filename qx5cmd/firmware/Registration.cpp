#include "qx5cmd/firmware/Registration.h"

#include "qx5cmd/firmware/BootloaderTests.h"
#include "qx5cmd/firmware/EepromTests.h"
#include "qx5cmd/firmware/UpgradeStation.h"

namespace qx5cmd {
namespace {

struct Row {
  const char* name;
  std::unique_ptr<aTest> (*make)(const char* name, const char* description);
  const char* description;
};

template <class T>
std::unique_ptr<aTest> make(const char* name, const char* description) {
  return std::make_unique<T>(name, description);
}

// Registry order is usage-text order.
const Row kRows[] = {
    {"upload", make<aUpload>, "upload code from the device"},
    {"upload_all", make<aUploadAll>, "upload the entire firmware"},
    {"upload_config", make<aUploadCfg>, "upload the config data"},
    {"bootloader", make<aBootloaderTest>, "bootloader test"},
    {"download", make<aDownload>, "download code to the device"},
    {"upload_eeprom", make<aUploadEEPROM>,
     "upload the eeprom from the gauge and save it to files."},
    {"download_eeprom", make<aDownloadEEPROM>,
     "upgrade the eeprom (uses the eeprom ineither starting from the files or the information on "
     "the gauge."},
    {"boot", make<aBoot>, "jump to user code"},
    {"firmware_upgrade_station", make<aFirmwareUpgradeStation>,
     "wait for gauges to be attached and upgrades the firmware."},
    {"firmware_upgrade_and_save_settings_station", make<aFirmwareUpgradeAndSaveSettingsStation>,
     "wait for gauges to be attached and upgrades the firmware; also saves the eeprom as the "
     "factory settings"},
    {"save_settings", make<aSaveSettings>, "save current eeprom as the factory defaults."},
    {"fix_corrupted_eeprom", make<aFixCorruptedEEPROM>, "set the magic cookie in eeprom."},
};

}  // namespace

void registerFirmwareTests(TestRegistry& registry) {
  for (const Row& row : kRows) registry.add(row.make(row.name, row.description));
}

}  // namespace qx5cmd
