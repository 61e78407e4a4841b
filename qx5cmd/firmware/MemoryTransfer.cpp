#include "qx5cmd/firmware/MemoryTransfer.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

// The sales desk named in the in-field upgrade warning; a maker sets its own at build time.
#ifndef QX5_SALES_DESK_ADDRESS
#define QX5_SALES_DESK_ADDRESS "sales@example.com"
#endif

namespace qx5cmd {
namespace {

// What the library returns for the version when the gauge did not answer.
constexpr const char* kNoVersion = "---";

}  // namespace

bool isBootloaderVersion(const std::string& version) {
  return version.find("BOOT") != std::string::npos;
}

bool supportsFieldUpgrade(const std::string& version) {
  return !(version.size() >= 2 && version[1] == '.' && (version[0] == '1' || version[0] == '2'));
}

void printFieldUpgradeWarning() {
  out("Sorry, this gauge does not support in-field upgrades, please contact %s for "
      "assistance\n",
      QX5_SALES_DESK_ADDRESS);
}

void beep() { platform::beep(); }

void hexDump(const std::string& label, std::uint32_t address, const std::uint8_t* bytes,
             std::uint32_t count) {
  constexpr std::uint32_t kRow = 32;
  for (std::uint32_t offset = 0; offset < count; offset += kRow) {
    out("%s %06X:", label.c_str(), address + offset);
    for (std::uint32_t i = offset; i < std::min(count, offset + kRow); ++i) out("%02x", bytes[i]);
    out("\n");
  }
}

bool compare(const std::string& label, const std::uint8_t* expected, const std::uint8_t* actual,
             std::uint32_t count) {
  if (std::memcmp(expected, actual, count) == 0) return true;
  out("CONFLICTS in %s!!!\n", label.c_str());
  return false;
}

bool MemoryTransfer::read(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) {
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t block = std::min(kTransferBlock, count - done);
    failedReadAddress_ = address + done;
    if (breakRequested()) return false;
    meter_.update(TransferKind::read, address + done, block);
    if (!gauge_.upload(address + done, block, buffer + done)) return false;
    done += block;
  }
  return true;
}

bool MemoryTransfer::write(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer) {
  for (std::uint32_t done = 0; done < count;) {
    const std::uint32_t block = std::min(kTransferBlock, count - done);
    if (breakRequested()) return false;
    meter_.update(TransferKind::write, address + done, block);
    if (!gauge_.download(address + done, block, buffer + done)) {
      out("\nERROR downloading memory to address %x\n", address + done);
      return false;
    }
    done += block;
  }
  return true;
}

bool MemoryTransfer::erase(std::uint32_t address, std::uint32_t count) {
  meter_.update(TransferKind::erase, address, count);
  for (int attempt = 0; attempt < kEraseAttempts; ++attempt) {
    if (breakRequested()) return false;
    if (gauge_.erase(address, count)) return true;
    out("\nERROR erasing memory");
  }
  return false;
}

bool MemoryTransfer::eraseRegion(std::uint32_t address, std::uint32_t count) {
  while (count > kEraseStep) {
    if (!erase(address, kEraseStep)) return false;
    address += kEraseStep;
    count -= kEraseStep;
  }
  return erase(address, count);
}

bool MemoryTransfer::switchToBootloader() {
  launchedVersion_.clear();
  std::string version = gauge_.firmwareVersion();
  if (isBootloaderVersion(version)) return true;
  printLine("Starting firmware:", version);
  for (int attempts = 0;;) {
    if (isBootloaderVersion(version)) {
      printLine("Bootloader firmware:", version);
      return true;
    }
    if (breakRequested() || ++attempts > kBootAttempts) return false;
    out("switching to bootloader...\n");
    gauge_.doBoot(0);
    sleepUnlessBreak(kBootloaderWaitMs);
    version = gauge_.firmwareVersion();
    if (!isBootloaderVersion(version)) {
      const std::string error = gauge_.errorMessage();
      if (!error.empty()) out("ERROR:\n%s", error.c_str());
      out("error switching to bootloader\nfirmware is version %s\n", version.c_str());
    }
  }
}

bool MemoryTransfer::launchFirmware() {
  launchedVersion_.clear();
  for (int attempts = 0;; ++attempts) {
    const std::string version = gauge_.firmwareVersion();
    // A gauge that does not answer (no text, or the library's placeholder for a failed read)
    // is not running anything yet.
    if (!version.empty() && version != kNoVersion && !isBootloaderVersion(version)) {
      printLine("New firmware:", version);
      launchedVersion_ = version;
      return true;
    }
    if (breakRequested() || attempts >= kBootAttempts) return false;
    out("launching new firmware...\n");
    gauge_.doBoot(1);
    sleepUnlessBreak(kLaunchWaitMs);
  }
}

}  // namespace qx5cmd
