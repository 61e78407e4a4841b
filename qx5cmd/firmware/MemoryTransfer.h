// Moving memory between the computer and a gauge's bootloader: block-wise read and write,
// erase with retries, switching into the bootloader and back to the application. Every loop
// stops at the next block or attempt once a break was requested. Shared by the bootloader
// tests, the EEPROM procedures and the upgrade station.
#pragma once

#include <cstdint>
#include <string>

#include "qx5cmd/firmware/MemoryGauge.h"
#include "qx5cmd/firmware/ProgressMeter.h"

namespace qx5cmd {

// Where things live in a gauge's memory (flat device addresses).
namespace memory_map {
inline constexpr std::uint32_t kProgramFlash = 0x000000;
inline constexpr std::uint32_t kBootloaderTestArea = 0x1E000;
inline constexpr std::uint32_t kFactoryDefaults = 0x1F000;
// The end of the erase blocks that hold the factory defaults (1010 bytes in 64-byte blocks).
inline constexpr std::uint32_t kFactoryDefaultsBlocksEnd = 0x1F400;
// Firmware files are written only below this; configuration words and EEPROM lie above.
inline constexpr std::uint32_t kFirmwareWriteLimit = 0x200000;
inline constexpr std::uint32_t kConfigurationWords = 0x300000;
inline constexpr std::uint32_t kConfigurationSize = 8;
inline constexpr std::uint32_t kDataEeprom = 0xF00000;
inline constexpr std::uint32_t kMagicCookie = 0xF003F0;
}  // namespace memory_map

inline constexpr std::uint32_t kTransferBlock = 48;  // bytes per memory packet
inline constexpr std::uint32_t kEraseStep = 2048;    // most bytes one erase call may cover
inline constexpr int kEraseAttempts = 5;
inline constexpr int kBootAttempts = 5;
inline constexpr int kBootloaderWaitMs = 200;
inline constexpr int kLaunchWaitMs = 10000;
inline constexpr std::int32_t kBootloaderSerial = 5555555;

// A gauge runs its bootloader exactly when its version text says "BOOT".
bool isBootloaderVersion(const std::string& version);
// Firmware 1.x and 2.x cannot be upgraded in the field.
bool supportsFieldUpgrade(const std::string& version);
// Tells the user whom to ask; the caller carries on.
void printFieldUpgradeWarning();
// The terminal bell, where a desktop would play its message beep.
void beep();

// Rows of 32 bytes: "<label> <address>:<bytes>".
void hexDump(const std::string& label, std::uint32_t address, const std::uint8_t* bytes,
             std::uint32_t count);
// False, with "CONFLICTS in <label>!!!", when the bytes differ anywhere.
bool compare(const std::string& label, const std::uint8_t* expected, const std::uint8_t* actual,
             std::uint32_t count);

class MemoryTransfer {
 public:
  MemoryTransfer(MemoryGauge& gauge, ProgressMeter& meter) : gauge_(gauge), meter_(meter) {}

  MemoryGauge& gauge() { return gauge_; }
  void resetProgress(TransferKind kind, std::uint32_t bytes) { meter_.reset(kind, bytes); }

  // False at the first failed block (silently) or on a break.
  bool read(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer);
  // The block a read failed at, for the caller's message.
  std::uint32_t failedReadAddress() const { return failedReadAddress_; }
  // False at the first failed block (reported, not retried) or on a break.
  bool write(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer);
  // One erase call of at most 2048 bytes, tried up to five times.
  bool erase(std::uint32_t address, std::uint32_t count);
  // Any length, in erase calls of 2048 bytes and a remainder.
  bool eraseRegion(std::uint32_t address, std::uint32_t count);

  // True once the gauge runs its bootloader; up to five restarts.
  bool switchToBootloader();
  // True once the gauge runs its application again; up to five starts, 10 s apart.
  bool launchFirmware();
  // The version the gauge reported when it was last launched; empty once it is sent to its
  // bootloader or a launch fails.
  const std::string& launchedVersion() const { return launchedVersion_; }

 private:
  MemoryGauge& gauge_;
  ProgressMeter& meter_;
  std::uint32_t failedReadAddress_ = 0;
  std::string launchedVersion_;
};

}  // namespace qx5cmd
