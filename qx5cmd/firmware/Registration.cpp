#include "qx5cmd/firmware/Registration.h"

#include "qx5cmd/firmware/BootloaderChecks.h"
#include "qx5cmd/firmware/EepromChecks.h"
#include "qx5cmd/firmware/UpgradeStation.h"

namespace qx5cmd {
namespace {

// Registry order is usage-text order.
const TestRow kRows[] = {
    {"upload", makeTest<aUpload>, "upload code from the device"},
    {"upload_all", makeTest<aUploadAll>, "upload the entire firmware"},
    {"upload_config", makeTest<aUploadCfg>, "upload the config data"},
    {"bootloader", makeTest<aBootloaderTest>, "bootloader test"},
    {"download", makeTest<aDownload>, "download code to the device"},
    {"upload_eeprom", makeTest<aUploadEEPROM>,
     "upload the eeprom from the gauge and save it to files."},
    {"download_eeprom", makeTest<aDownloadEEPROM>,
     "upgrade the eeprom (uses the eeprom ineither starting from the files or the information on "
     "the gauge."},
    {"boot", makeTest<aBoot>, "jump to user code"},
    {"firmware_upgrade_station", makeTest<aFirmwareUpgradeStation>,
     "wait for gauges to be attached and upgrades the firmware."},
    {"firmware_upgrade_and_save_settings_station", makeTest<aFirmwareUpgradeAndSaveSettingsStation>,
     "wait for gauges to be attached and upgrades the firmware; also saves the eeprom as the "
     "factory settings"},
    {"save_settings", makeTest<aSaveSettings>, "save current eeprom as the factory defaults."},
    {"fix_corrupted_eeprom", makeTest<aFixCorruptedEEPROM>, "set the magic cookie in eeprom."},
};

}  // namespace

void registerFirmwareTests(TestRegistry& registry) { registerRows(registry, kRows); }

}  // namespace qx5cmd
