#include "qx5cmd/firmware/FirmwareDownload.h"

#include <cstdio>

#include "qx5cmd/core/BreakSignal.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/HexReader.h"

namespace qx5cmd {
namespace {

// The file, read whole, or nothing: a half-read image must never reach flash.
bool loadFirmwareFile(const std::string& fileName, HexReader& reader) {
  if (!reader.load(fileName)) {
    std::printf("error reading %s\n", fileName.c_str());
    return false;
  }
  if (reader.total() == 0) {
    std::printf("error loading .hex file\n");
    return false;
  }
  return true;
}

bool writeFlashRanges(MemoryTransfer& transfer, const HexReader& reader) {
  for (const HexRange& range : reader.ranges()) {
    if (range.startAddress >= memory_map::kFirmwareWriteLimit) continue;
    const auto size = static_cast<std::uint32_t>(range.bytes.size());
    if (!transfer.eraseRegion(range.startAddress, size) ||
        !transfer.write(range.startAddress, size, range.bytes.data()))
      return false;
  }
  return true;
}

}  // namespace

std::string firmwareFileName(const std::string& stem, int chipset) {
  return format("%s.%d.hex", stem.c_str(), chipset);
}

bool downloadFirmware(MemoryTransfer& transfer, std::int32_t serial,
                      const FirmwareDownload& request) {
  const std::string fileName = firmwareFileName(request.fileStem, transfer.gauge().chipset());
  HexReader reader;
  if (!loadFirmwareFile(fileName, reader)) return false;

  // Its result is not used: the firmware goes on even when the settings stay as they are.
  if (request.eepromForBootloaderGauge || serial != kBootloaderSerial)
    upgradeEeprom(transfer, serial, request.eepromVersion, request.copyToDefaults);
  if (breakRequested() || !transfer.switchToBootloader()) return false;

  transfer.resetProgress(TransferKind::write, reader.total());
  std::printf("downloading %s (%u bytes)\n\n", fileName.c_str(), reader.total());
  if (!writeFlashRanges(transfer, reader) || breakRequested()) return false;

  if (request.beepBeforeLaunch) beep();
  std::printf("\n\n");
  if (!breakRequested()) transfer.launchFirmware();
  transfer.gauge().show(1, "Version");
  transfer.gauge().show(2, request.displayedVersion);
  return true;
}

}  // namespace qx5cmd
