#include "qx5cmd/firmware/BootloaderChecks.h"

#include <algorithm>
#include <array>
#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/firmware/EepromVersionArgument.h"
#include "qx5cmd/firmware/FirmwareDownload.h"
#include "qx5cmd/firmware/HexWriter.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

constexpr std::uint32_t kPatternSize = 512;
constexpr std::uint32_t kMargin = 32;  // bytes read on either side of the scratch area
constexpr std::uint32_t kScratchReadSize = kPatternSize + 2 * kMargin;

// Hands each block to the writer as it arrives, so a failed read leaves a shorter, whole file.
// False, naming the block, when the region was not read to its end.
bool uploadRegion(MemoryGauge& gauge, HexWriter& writer, aUpload::Region region) {
  std::array<std::uint8_t, kTransferBlock> block{};
  for (std::uint32_t done = 0; done < region.length;) {
    const std::uint32_t count = std::min(kTransferBlock, region.length - done);
    if (breakRequested()) return false;
    if (!gauge.upload(region.address + done, count, block.data())) {
      out("\nERROR uploading memory from address %x\n", region.address + done);
      return false;
    }
    writer.writeBlock(region.address + done, block.data(), count);
    done += count;
  }
  return true;
}

}  // namespace

bool aUpload::run() {
  LibraryMemoryGauge gauge;
  HexWriter writer(fileName());
  bool whole = true;
  for (const Region& region : regions()) whole = uploadRegion(gauge, writer, region) && whole;
  writer.writeEndOfFileRecord();
  // The shorter file stays, well formed; the test fails so it is not taken for a full copy.
  return writer.close() && whole;
}

std::vector<aUpload::Region> aUploadAll::regions() const {
  return {{0x000000, 0x10000},
          {0x10000, 0x10000},
          {memory_map::kConfigurationWords, memory_map::kConfigurationSize}};
}

std::vector<aUpload::Region> aUploadCfg::regions() const {
  return {{memory_map::kConfigurationWords, memory_map::kConfigurationSize}};
}

bool aBootloaderTest::run() {
  std::array<std::uint8_t, kPatternSize> pattern{};
  for (std::uint32_t i = 0; i < kPatternSize; ++i) pattern[i] = static_cast<std::uint8_t>(i / 2);

  out("\nresetting the gauge\n");
  gauge_.doBoot(0);
  sleepUnlessBreak(kBootloaderWaitMs);
  transfer_.resetProgress(TransferKind::write, kPatternSize);

  const std::uint32_t around = memory_map::kBootloaderTestArea - kMargin;
  std::array<std::uint8_t, kScratchReadSize> before{}, erased{}, after{};
  transfer_.read(around, kScratchReadSize, before.data());
  hexDump("old data", around, before.data(), kScratchReadSize);
  transfer_.erase(memory_map::kBootloaderTestArea, kPatternSize);
  transfer_.read(around, kScratchReadSize, erased.data());
  hexDump("erased  ", around, erased.data(), kScratchReadSize);
  transfer_.write(memory_map::kBootloaderTestArea, kPatternSize, pattern.data());
  hexDump("download", memory_map::kBootloaderTestArea, pattern.data(), kPatternSize);
  transfer_.read(around, kScratchReadSize, after.data());
  hexDump("new data", around, after.data(), kScratchReadSize);

  // The conflicts are the report; the test itself always passes.
  compare("before", before.data(), after.data(), kMargin);
  compare("after ", before.data() + kMargin + kPatternSize, after.data() + kMargin + kPatternSize,
          kMargin);
  compare("modify", pattern.data(), after.data() + kMargin, kPatternSize);
  return true;
}

bool aDownload::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  if (index == 0) {
    if (text.empty()) {
      ok = false;
      return false;
    }
    fileStem_ = text;
    return true;
  }
  if (!parseEepromVersion(text, name, eepromVersion_)) {
    ok = false;
    return false;
  }
  more = false;
  return true;
}

bool aDownload::run() {
  const int serial = gauge_.serialNumber();
  beep();
  if (!supportsFieldUpgrade(gauge_.firmwareVersion())) printFieldUpgradeWarning();
  FirmwareDownload request;
  request.fileStem = fileStem_;
  request.eepromVersion = eepromVersion_;
  request.displayedVersion = fileStem_;
  return downloadFirmware(transfer_, serial, request);
}

bool aBoot::run() {
  LibraryMemoryGauge gauge;
  gauge.doBoot(1);
  return true;
}

}  // namespace qx5cmd
