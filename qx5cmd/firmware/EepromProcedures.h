// Keeping a gauge's two settings images right: the live copy in data EEPROM and the factory
// defaults in program flash. Run by the EEPROM tests, the firmware download and the station.
#pragma once

#include <cstdint>

#include "qx5cmd/firmware/Eeprom.h"
#include "qx5cmd/firmware/MemoryTransfer.h"

namespace qx5cmd {

inline constexpr std::uint32_t kEepromBytes = static_cast<std::uint32_t>(EEPROM::kSize);

// Reads the image from `address`; false unless every block arrived.
bool uploadImage(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image);
// Reads and describes the image, and backs it up under its label only when it arrived whole:
// a later run trusts the file. False when the read failed.
bool uploadWithBackup(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image);

// How the EEPROM step ended. A failure before anything was written leaves the gauge as it was,
// so a firmware download may go on; one after a write began may leave settings half written,
// and the firmware must wait until a later run has repaired them.
enum class EepromOutcome { done, failedUntouched, failedWriting };

// Brings both images to `targetVersion`, backing each up once. With `copyToDefaults` the live
// image is always read from the gauge and made the factory defaults; without it backups are
// preferred to the gauge and uncalibrated defaults are replaced. Never leaves the bootloader.
EepromOutcome upgradeEeprom(MemoryTransfer& transfer, std::int32_t serial, int targetVersion,
                            bool copyToDefaults);

// Makes the gauge's live settings its factory defaults. Never leaves the bootloader.
bool saveSettings(MemoryTransfer& transfer, std::int32_t serial);

}  // namespace qx5cmd
