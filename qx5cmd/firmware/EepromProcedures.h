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
// Reads and describes the image, and backs it up (EepromFiles::keep) only when it arrived whole.
// False, naming the address, when the read failed.
bool uploadWithBackup(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image);

// How the EEPROM step ended. An image that could not be read whole or is invalid (a new gauge)
// leaves the gauge as it was, and a firmware download may go on. Any other failure may leave
// settings half written, or a write unrecorded: the firmware must wait until a later run has
// finished them.
enum class EepromOutcome { done, imageUnusable, failed };

// Brings both images to `targetVersion`. Each is taken from the gauge and backed up when new;
// from the record of a write a cut run left unconfirmed, to finish it; or, without
// `copyToDefaults`, from the newest backup when the gauge's reads whole but is invalid. With
// `copyToDefaults` the live image is also made the factory defaults; without it uncalibrated
// defaults are replaced. Every write is recorded until read back. A gauge in its bootloader is
// known by the serial number in its settings. Never leaves the bootloader.
EepromOutcome upgradeEeprom(MemoryTransfer& transfer, std::int32_t serial, int targetVersion,
                            bool copyToDefaults);

// Makes the gauge's live settings its factory defaults, finishing an unconfirmed write of the
// live settings first. Never leaves the bootloader.
bool saveSettings(MemoryTransfer& transfer, std::int32_t serial);

}  // namespace qx5cmd
