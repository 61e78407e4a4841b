#include "qx5cmd/firmware/UpgradeStation.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/EepromVersionArgument.h"
#include "qx5cmd/firmware/FirmwareDownload.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {

bool aFirmwareUpgradeStation::bind() {
  session().stationMode = true;
  return true;
}

bool aFirmwareUpgradeStation::parseArgument(int index, bool& ok, bool& more,
                                            const std::string& text) {
  if (index < 2) {
    if (text.empty()) {
      ok = false;
      return false;
    }
    (index == 0 ? fileStem_ : firmwareVersion_) = text;
    return true;
  }
  more = false;
  if (parseEepromVersion(text, name, eepromVersion_)) return true;
  ok = false;
  return false;
}

// A gauge that already runs the release only has its settings saved when asked to.
bool aFirmwareUpgradeStation::saveSettingsOnly(int serial, bool copyToDefaults,
                                               StationRecordEntry& entry) {
  out("gauge %d has been upgraded to firmware %s\n", serial, firmwareVersion_.c_str());
  entry.result = "already current";
  entry.firmwareAfter = entry.firmwareBefore;
  if (copyToDefaults && serial != kBootloaderSerial) {
    if (upgradeEeprom(transfer_, serial, eepromVersion_, true) != EepromOutcome::done) {
      entry.failure = "saving the settings as factory defaults failed";
      return false;
    }
    const bool launched = !breakRequested() && transfer_.launchFirmware();
    entry.firmwareAfter = launched ? transfer_.launchedVersion() : "";
    out("\n");
    gauge_.show(1, "Settings");
    gauge_.show(2, "Saved");
    beep();
    entry.result = "settings saved";
  }
  return true;
}

bool aFirmwareUpgradeStation::upgrade(bool copyToDefaults) {
  Session& s = session();
  StationRecordEntry entry;
  entry.time = platform::localTimeText("%Y-%m-%d %H:%M:%S");
  entry.eepromLayout = eepromVersion_;
  const std::uint32_t start = s.tickCount();
  const bool upgraded = upgradeGauge(copyToDefaults, entry);
  entry.seconds = static_cast<std::uint32_t>(s.tickCount() - start) / 1000.0;
  if (!upgraded) entry.result = "failed";
  appendStationRecord(entry);
  return upgraded;
}

bool aFirmwareUpgradeStation::upgradeGauge(bool copyToDefaults, StationRecordEntry& entry) {
  const int serial = gauge_.serialNumber();
  entry.serial = serial;
  if (serial == -1) {
    entry.failure = "the gauge gave no serial number";
    return false;
  }
  const std::string running = gauge_.firmwareVersion();
  entry.firmwareBefore = running;
  if (!supportsFieldUpgrade(running)) printFieldUpgradeWarning();
  if (running == firmwareVersion_) return saveSettingsOnly(serial, copyToDefaults, entry);

  beep();
  StatsTimes& timing = stats().times("updateFirmware");
  timing.start();
  // The download test's steps, differing only here: the EEPROM step with the station's copy
  // flag and not for a gauge in its bootloader, the release on the display, and the beeps.
  FirmwareDownload request;
  request.fileStem = fileStem_;
  request.eepromVersion = eepromVersion_;
  request.copyToDefaults = copyToDefaults;
  request.eepromForBootloaderGauge = false;
  request.displayedVersion = firmwareVersion_;
  request.beepBeforeLaunch = developerUser();
  if (!downloadFirmware(transfer_, serial, request, &entry.failure)) {
    timing.clear();
    return false;
  }
  timing.stop();
  beep();
  entry.firmwareAfter = transfer_.launchedVersion();
  entry.result = "upgraded";
  return true;
}

}  // namespace qx5cmd
