#include "qx5cmd/firmware/FirmwareDownload.h"

#include <algorithm>
#include <cstdio>
#include <utility>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

constexpr int kNoChipset = -1;  // what a failed GetChipset reads as

// The file, read whole, or nothing: a half-read image must never reach flash.
bool loadFirmwareFile(const std::string& fileName, HexReader& reader) {
  if (!reader.load(fileName)) {
    out("error reading %s\n", fileName.c_str());
    return false;
  }
  if (reader.total() == 0) {
    out("error loading .hex file\n");
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
      out("\nthe file's bytes at %X to %X are not written: they hold the factory "
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
  MemoryGauge& gauge = transfer.gauge();
  int chipset = gauge.chipset();
  bool switchedForChipset = false;
  if (chipset == kNoChipset) {
    // Some application firmware leaves the chipset to its bootloader: ask there, and start the
    // firmware again if no file can be loaded, so a failed download leaves the gauge running.
    switchedForChipset = !isBootloaderVersion(gauge.firmwareVersion());
    if (breakRequested()) return failed("stopped by a break");
    if (!transfer.switchToBootloader()) return failed("the gauge did not switch to its bootloader");
    chipset = gauge.chipset();
  }
  const std::string fileName = firmwareFileName(request.fileStem, chipset);
  HexReader reader;
  if (chipset == kNoChipset) out("the gauge does not report its chipset\n");
  if (chipset == kNoChipset || !loadFirmwareFile(fileName, reader)) {
    if (switchedForChipset && !breakRequested()) transfer.launchFirmware();
    return failed(chipset == kNoChipset ? "the gauge did not report its chipset"
                                        : "no firmware in " + fileName);
  }

  // Settings left as they were (an unreadable or invalid image: a new gauge) let the firmware
  // go on. Unfinished ones stop it: the upgraded firmware would make later runs take the gauge
  // for done, and nothing would finish them.
  if (request.eepromForBootloaderGauge || serial != kBootloaderSerial) {
    if (upgradeEeprom(transfer, serial, request.eepromVersion, request.copyToDefaults) ==
        EepromOutcome::failed) {
      out("the eeprom upgrade did not finish: the firmware is not downloaded; run it again to "
          "finish the settings first\n");
      return failed("the eeprom upgrade did not finish");
    }
  }
  if (breakRequested()) return failed("stopped by a break");
  if (!transfer.switchToBootloader()) return failed("the gauge did not switch to its bootloader");

  transfer.resetProgress(TransferKind::write, reader.total());
  out("downloading %s (%u bytes)\n\n", fileName.c_str(), reader.total());
  if (!writeFlashRanges(transfer, reader) || breakRequested())
    return failed(breakRequested() ? "stopped by a break" : "erasing or writing the flash failed");

  if (request.beepBeforeLaunch) beep();
  out("\n\n");
  if (!breakRequested()) transfer.launchFirmware();
  transfer.gauge().show(1, "Version");
  transfer.gauge().show(2, request.displayedVersion);
  return true;
}

}  // namespace qx5cmd
