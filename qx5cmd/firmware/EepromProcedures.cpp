#include "qx5cmd/firmware/EepromProcedures.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/firmware/EepromFiles.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

constexpr const char* kLiveStem = "eeprom";
constexpr const char* kDefaultsStem = "defaults";
constexpr const char* kUncalibratedDefaults =
    "default factory settings are uncalibrated,... saving eeprom to factory defaults\n";

bool enterBootloaderForDefaults(MemoryTransfer& transfer) {
  if (!breakRequested() && transfer.switchToBootloader()) return true;
  out("unable to switch to bootloader\n");
  return false;
}

// Where the image to work from came from, or why there is none.
enum class Origin { record, gauge, backup, unreadable, invalid, unusableRecord };

// The image a procedure works from. An unconfirmed write on record is finished from the record,
// whatever the gauge holds; otherwise the gauge's own image, backed up when it is new; the newest
// backup only when the gauge's image read whole but is invalid, and `backupsAllowed`.
Origin obtainImage(MemoryTransfer& transfer, std::uint32_t address, EEPROM& image,
                   const char* uploading, bool backupsAllowed) {
  const EepromFiles files(image);
  const std::string label = image.label();
  if (files.hasRecord()) {
    const std::string record = files.recordName();
    if (image.readFile(record) && image.isValid()) {
      out("finishing an interrupted write: %s taken from \"%s\"\n", label.c_str(), record.c_str());
      image.describe();
      return Origin::record;
    }
    out("\"%s\" records an unfinished write of %s but cannot be read; delete it to take "
        "the gauge's %s as it is\n",
        record.c_str(), label.c_str(), label.c_str());
    return Origin::unusableRecord;
  }
  out("%s", uploading);
  transfer.resetProgress(TransferKind::read, kEepromBytes);
  const bool whole = uploadImage(transfer, address, image);
  image.describe();
  if (whole && image.isValid()) {
    out("using the %s read from the gauge\n", label.c_str());
    files.keep(image);
    return Origin::gauge;
  }
  if (!whole) {
    // Almost always a gauge gone or a break: a backup written now would not arrive, and its
    // record would make the next run put it over what the gauge holds, unread.
    out("reading %s from the gauge failed at address %x\n", label.c_str(),
        transfer.failedReadAddress());
    return Origin::unreadable;
  }
  const std::string backup = backupsAllowed ? files.newestBackup() : std::string();
  if (!backup.empty() && image.readFile(backup) && image.isValid()) {
    out("the %s on the gauge is invalid: using the backup \"%s\"\n", label.c_str(), backup.c_str());
    image.describe();
    return Origin::backup;
  }
  return Origin::invalid;
}

// Writes the image, with a record of the write kept until it has been read back equal; erases
// first for flash. A record that cannot be made fails before anything is sent.
bool writeRecorded(MemoryTransfer& transfer, std::uint32_t address, const EEPROM& image,
                   bool eraseFirst) {
  const EepromFiles files(image);
  if (breakRequested() || !files.record(image)) return false;
  transfer.resetProgress(TransferKind::write, kEepromBytes);
  if ((eraseFirst && !transfer.erase(address, kEepromBytes)) ||
      !transfer.write(address, kEepromBytes, image.image().data()))
    return false;
  EEPROM written(image.expectedSerial(), image.label());
  transfer.resetProgress(TransferKind::read, kEepromBytes);
  if (!uploadImage(transfer, address, written)) {
    out("reading %s back failed at address %x\n", image.label().c_str(),
        transfer.failedReadAddress());
    return false;
  }
  if (!compare(image.label(), image.image().data(), written.image().data(), kEepromBytes))
    return false;
  files.clearRecord();
  return true;
}

// A gauge in its bootloader reports the bootloader's serial number; its own is in its settings,
// and with it a run cut while the bootloader wrote the defaults finds its record again.
std::int32_t ownSerial(MemoryTransfer& transfer, std::int32_t reported) {
  if (reported != kBootloaderSerial) return reported;
  EEPROM head(reported, kLiveStem);
  transfer.resetProgress(TransferKind::read, kTransferBlock);
  if (!transfer.read(memory_map::kDataEeprom, kTransferBlock, head.image().data()) ||
      !EEPROM::isRealSerial(head.imageSerial()))
    return reported;
  out("the gauge runs its bootloader: serial number %d taken from its eeprom\n",
      head.imageSerial());
  return head.imageSerial();
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
    EepromFiles(image).keep(image);
  } else {
    out("reading %s from the gauge failed at address %x; no backup made\n", image.label().c_str(),
        transfer.failedReadAddress());
  }
  return whole;
}

EepromOutcome upgradeEeprom(MemoryTransfer& transfer, std::int32_t reportedSerial,
                            int targetVersion, bool copyToDefaults) {
  const std::int32_t serial = ownSerial(transfer, reportedSerial);
  EEPROM live(serial, kLiveStem);
  EEPROM defaults(serial, kDefaultsStem);
  StatsTimes& timing = stats().times("upgradeEEPROM");
  timing.start();
  bool wrote = false;  // an image has been written to the gauge
  auto stop = [&](EepromOutcome outcome) {
    timing.clear();
    return outcome;
  };
  // An image that cannot be read or used leaves the gauge as it was, unless one was written.
  auto unusable = [&] {
    return stop(wrote ? EepromOutcome::failed : EepromOutcome::imageUnusable);
  };
  auto write = [&](std::uint32_t address, const EEPROM& image, bool eraseFirst) {
    wrote = true;
    return writeRecorded(transfer, address, image, eraseFirst);
  };

  // With the copy flag the settings are taken as the gauge holds them, never from a backup.
  const Origin liveFrom =
      obtainImage(transfer, memory_map::kDataEeprom, live, "uploading eeprom\n", !copyToDefaults);
  if (liveFrom == Origin::unreadable)
    out("aborting eeprom upgrade because eeprom could not be read\n");
  if (liveFrom == Origin::invalid) out("aborting eeprom upgrade because eeprom is invalid\n");
  if (liveFrom == Origin::unreadable || liveFrom == Origin::invalid) return unusable();
  if (liveFrom == Origin::unusableRecord) return stop(EepromOutcome::failed);
  // Written when converted, and whenever the gauge does not hold it already.
  if (live.conformToVersion(targetVersion) || liveFrom != Origin::gauge) {
    out("downloading eeprom\n");
    if (!write(memory_map::kDataEeprom, live, false)) return stop(EepromOutcome::failed);
  }

  Origin defaultsFrom = Origin::gauge;  // with the copy flag they are not needed
  if (!copyToDefaults) {
    defaultsFrom = obtainImage(transfer, memory_map::kFactoryDefaults, defaults,
                               "uploading eeprom default factory settings\n", true);
    if (defaultsFrom == Origin::unreadable) {
      // Half-read defaults look uncalibrated and would be overwritten with the live settings,
      // losing the factory calibration.
      out("aborting eeprom upgrade because default factory settings could not be read\n");
      return unusable();
    }
    if (defaultsFrom == Origin::unusableRecord) return stop(EepromOutcome::failed);
    if (defaultsFrom == Origin::invalid) {
      out("no default factory settings loaded yet,... creating factory defaults from current "
          "eeprom values\n");
      defaults.image() = live.image();
      EepromFiles(defaults).keep(defaults);
    }
  }
  // Made here, from a record or from a backup: the gauge does not hold them.
  bool rewrite = defaultsFrom != Origin::gauge;
  if (copyToDefaults) {
    out("copying eeprom to factory defaults\n");
    defaults.image() = live.image();
    rewrite = true;
  } else if (!defaults.isCalibrated()) {
    out("%s", kUncalibratedDefaults);
    defaults.image() = live.image();
    rewrite = true;
  }
  if (defaults.conformToVersion(targetVersion)) rewrite = true;

  if (rewrite) {
    if (!enterBootloaderForDefaults(transfer)) return stop(EepromOutcome::failed);
    out("downloading default factory settings\n");
    if (!write(memory_map::kFactoryDefaults, defaults, true)) return stop(EepromOutcome::failed);
  }
  timing.stop();
  return EepromOutcome::done;
}

bool saveSettings(MemoryTransfer& transfer, std::int32_t reportedSerial) {
  const std::int32_t serial = ownSerial(transfer, reportedSerial);
  EEPROM live(serial, kLiveStem);
  EEPROM defaults(serial, kDefaultsStem);
  switch (obtainImage(transfer, memory_map::kDataEeprom, live, "uploading eeprom\n", false)) {
    case Origin::unreadable:
      out("aborting save settings because eeprom could not be read\n");
      return false;
    case Origin::invalid:
      out("aborting save settings because eeprom is invalid\n");
      return false;
    case Origin::record:
      // The live copy on the gauge is half written: it is finished before it is copied.
      out("downloading eeprom\n");
      if (!writeRecorded(transfer, memory_map::kDataEeprom, live, false)) return false;
      break;
    case Origin::gauge:
      break;
    default:
      return false;
  }
  if (!enterBootloaderForDefaults(transfer)) return false;
  out("%s", kUncalibratedDefaults);
  defaults.image() = live.image();
  out("downloading default factory settings\n");
  return writeRecorded(transfer, memory_map::kFactoryDefaults, defaults, true);
}

}  // namespace qx5cmd
