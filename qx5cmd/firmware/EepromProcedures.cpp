#include "qx5cmd/firmware/EepromProcedures.h"

#include <cstdio>

#include "qx5cmd/core/Stats.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

constexpr const char* kLiveStem = "eeprom";
constexpr const char* kDefaultsStem = "defaults";
constexpr const char* kUncalibratedDefaults =
    "default factory settings are uncalibrated,... saving eeprom to factory defaults\n";

// Erases the defaults' flash and writes the image there.
bool writeDefaults(MemoryTransfer& transfer, const EEPROM& defaults) {
  std::printf("downloading default factory settings\n");
  transfer.resetProgress(TransferKind::write, kEepromBytes);
  return transfer.erase(memory_map::kFactoryDefaults, kEepromBytes) &&
         transfer.write(memory_map::kFactoryDefaults, kEepromBytes, defaults.image().data());
}

bool enterBootloaderForDefaults(MemoryTransfer& transfer) {
  if (!breakRequested() && transfer.switchToBootloader()) return true;
  std::printf("unable to switch to bootloader\n");
  return false;
}

}  // namespace

bool uploadImage(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image) {
  return transfer.read(address, kEepromBytes, image.image().data());
}

bool uploadWithBackup(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image) {
  transfer.resetProgress(TransferKind::read, kEepromBytes);
  const bool whole = uploadImage(transfer, address, image);
  image.describe();
  if (whole) {
    image.saveToFile(image.label());
  } else {
    std::printf("reading %s from the gauge failed; no backup made\n", image.label().c_str());
  }
  return whole;
}

bool upgradeEeprom(MemoryTransfer& transfer, std::int32_t serial, int targetVersion,
                   bool copyToDefaults) {
  EEPROM live(serial, kLiveStem);
  EEPROM defaults(serial, kDefaultsStem);
  StatsTimes& timing = stats().times("upgradeEEPROM");
  timing.start();

  bool rewrite = false;  // the defaults in flash are to be replaced
  if (copyToDefaults || !live.loadFromFile(kLiveStem)) {
    std::printf("uploading eeprom\n");
    // Half an image can look valid (its serial number comes first) and would be written back.
    if (!uploadWithBackup(transfer, memory_map::kDataEeprom, live)) {
      std::printf("aborting eeprom upgrade because eeprom could not be read\n");
      timing.clear();
      return false;
    }
  }
  if (!live.isValid()) {
    std::printf("aborting eeprom upgrade because eeprom is invalid\n");
    timing.clear();
    return false;
  }
  if (live.conformToVersion(targetVersion)) {
    std::printf("downloading eeprom\n");
    transfer.resetProgress(TransferKind::write, kEepromBytes);
    if (!transfer.write(memory_map::kDataEeprom, kEepromBytes, live.image().data())) {
      timing.clear();
      return false;
    }
  }

  if (!copyToDefaults && !defaults.loadFromFile(kDefaultsStem)) {
    std::printf("uploading eeprom default factory settings\n");
    transfer.resetProgress(TransferKind::read, kEepromBytes);
    // Half-read defaults look uncalibrated and would be overwritten with the live settings,
    // losing the factory calibration: stop before anything is decided from them.
    if (!uploadImage(transfer, memory_map::kFactoryDefaults, defaults)) {
      defaults.describe();
      std::printf("aborting eeprom upgrade because default factory settings could not be read\n");
      timing.clear();
      return false;
    }
    defaults.describe();
    if (!defaults.isValid()) {
      std::printf(
          "no default factory settings loaded yet,... creating factory defaults from current "
          "eeprom values\n");
      defaults.image() = live.image();
      // Made here, they must reach flash too: calibrated copies are not rewritten below, and
      // later runs take them from the backup, so the gauge would keep no defaults at all.
      rewrite = true;
    }
    defaults.saveToFile(kDefaultsStem);
  }

  if (copyToDefaults) {
    std::printf("copying eeprom to factory defaults\n");
    defaults.image() = live.image();
    rewrite = true;
  } else if (!defaults.isCalibrated()) {
    std::printf("%s", kUncalibratedDefaults);
    defaults.image() = live.image();
    rewrite = true;
  }
  if (defaults.conformToVersion(targetVersion)) rewrite = true;

  if (rewrite) {
    if (!enterBootloaderForDefaults(transfer) || !writeDefaults(transfer, defaults)) {
      timing.clear();
      return false;
    }
  }
  timing.stop();
  return true;
}

bool saveSettings(MemoryTransfer& transfer, std::int32_t serial) {
  EEPROM live(serial, kLiveStem);
  EEPROM defaults(serial, kDefaultsStem);
  std::printf("uploading eeprom\n");
  if (!uploadWithBackup(transfer, memory_map::kDataEeprom, live)) {
    std::printf("aborting save settings because eeprom could not be read\n");
    return false;
  }
  if (!live.isValid()) {
    std::printf("aborting save settings because eeprom is invalid\n");
    return false;
  }
  if (!enterBootloaderForDefaults(transfer)) return false;
  std::printf("%s", kUncalibratedDefaults);
  defaults.image() = live.image();
  return writeDefaults(transfer, defaults);
}

}  // namespace qx5cmd
