#include "qx5cmd/firmware/FirmwareDownload.h"

#include <algorithm>
#include <cstdio>
#include <utility>

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

// Every range below the write limit, except the erase blocks of the factory defaults: the
// EEPROM step has just put this gauge's calibrated defaults there, and a release file carrying
// bytes at that address would replace them with the file's.
bool writeFlashRanges(MemoryTransfer& transfer, const HexReader& reader) {
  using memory_map::kFactoryDefaults, memory_map::kFactoryDefaultsBlocksEnd;
  bool defaultsKept = false;
  for (const HexRange& range : reader.ranges()) {
    const std::uint32_t start = range.startAddress;
    if (start >= memory_map::kFirmwareWriteLimit) continue;
    const std::uint32_t end = start + static_cast<std::uint32_t>(range.bytes.size());
    if (start < kFactoryDefaultsBlocksEnd && end > kFactoryDefaults && !defaultsKept) {
      std::printf(
          "\nthe file's bytes at %X to %X are not written: they hold the factory "
          "default settings\n",
          kFactoryDefaults, kFactoryDefaultsBlocksEnd - 1);
      defaultsKept = true;
    }
    // The part before the defaults and the part after them; either may be empty.
    const std::uint32_t pieces[2][2] = {{start, std::min(end, kFactoryDefaults)},
                                        {std::max(start, kFactoryDefaultsBlocksEnd), end}};
    for (const auto& [from, to] : pieces) {
      if (from >= to) continue;
      if (!transfer.eraseRegion(from, to - from) ||
          !transfer.write(from, to - from, range.bytes.data() + (from - start)))
        return false;
    }
  }
  return true;
}

}  // namespace

std::string firmwareFileName(const std::string& stem, int chipset) {
  return format("%s.%d.hex", stem.c_str(), chipset);
}

bool downloadFirmware(MemoryTransfer& transfer, std::int32_t serial,
                      const FirmwareDownload& request, std::string* failure) {
  auto failed = [failure](std::string why) {
    if (failure) *failure = std::move(why);
    return false;
  };
  const std::string fileName = firmwareFileName(request.fileStem, transfer.gauge().chipset());
  HexReader reader;
  if (!loadFirmwareFile(fileName, reader)) return failed("no firmware in " + fileName);

  // Its result is not used: the firmware goes on even when the settings stay as they are.
  if (request.eepromForBootloaderGauge || serial != kBootloaderSerial)
    upgradeEeprom(transfer, serial, request.eepromVersion, request.copyToDefaults);
  if (breakRequested()) return failed("stopped by a break");
  if (!transfer.switchToBootloader()) return failed("the gauge did not switch to its bootloader");

  transfer.resetProgress(TransferKind::write, reader.total());
  std::printf("downloading %s (%u bytes)\n\n", fileName.c_str(), reader.total());
  if (!writeFlashRanges(transfer, reader) || breakRequested())
    return failed(breakRequested() ? "stopped by a break" : "erasing or writing the flash failed");

  if (request.beepBeforeLaunch) beep();
  std::printf("\n\n");
  if (!breakRequested()) transfer.launchFirmware();
  transfer.gauge().show(1, "Version");
  transfer.gauge().show(2, request.displayedVersion);
  return true;
}

}  // namespace qx5cmd
