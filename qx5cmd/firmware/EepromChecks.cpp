#include "qx5cmd/firmware/EepromChecks.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/EepromVersionArgument.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
bool aUploadEEPROM::parseArgument(int, bool&, bool& more, const std::string&) {
  more = false;
  return true;
}

bool aUploadEEPROM::run() {
  const int serial = gauge_.serialNumber();
  EEPROM live(serial, "eeprom");
  out("uploading eeprom\n");
  const bool liveWhole = uploadWithBackup(transfer_, memory_map::kDataEeprom, live);
  EEPROM defaults(serial, "defaults");
  out("uploading defaults\n");
  const bool defaultsWhole = uploadWithBackup(transfer_, memory_map::kFactoryDefaults, defaults);
  // A technician backs a gauge up before a risky step: a backup that is missing must not pass.
  return liveWhole && defaultsWhole;
}

bool aDownloadEEPROM::parseArgument(int, bool& ok, bool& more, const std::string& text) {
  more = false;
  if (parseEepromVersion(text, name, eepromVersion_)) return true;
  ok = false;
  return false;
}

bool aDownloadEEPROM::run() {
  return upgradeEeprom(transfer_, gauge_.serialNumber(), eepromVersion_, false) ==
             EepromOutcome::done &&
         !breakRequested() && transfer_.launchFirmware();
}

bool aSaveSettings::run() {
  return saveSettings(transfer_, gauge_.serialNumber()) && !breakRequested() &&
         transfer_.launchFirmware();
}

bool aFixCorruptedEEPROM::run() {
  static constexpr std::uint8_t kCookie[] = {0x5B, 0x4A};  // 0x4A5B little-endian
  transfer_.resetProgress(TransferKind::write, sizeof kCookie);
  return transfer_.write(memory_map::kMagicCookie, sizeof kCookie, kCookie);
}

}  // namespace qx5cmd
