// The gauge's memory as the bootloader sees it: program flash (erased to 0xFF in 64-byte
// blocks, writes can only clear bits), configuration words and the data EEPROM.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx5::sim {

class Memory {
 public:
  static constexpr std::uint32_t kFlashSize = 0x20000;
  static constexpr std::uint32_t kEraseBlock = 64;
  static constexpr std::uint32_t kConfigAddress = 0x300000;
  static constexpr std::uint32_t kConfigSize = 16;
  static constexpr std::uint32_t kEepromAddress = 0xF00000;
  static constexpr std::uint32_t kEepromSize = 1024;
  static constexpr std::uint32_t kDefaultsAddress = 0x1F000;
  // The application may not touch flash while it runs from it; the bootloader may.
  enum class Mode { Application, Bootloader };

  Memory();

  // Unimplemented addresses read as zero, as on the chip.
  void read(std::uint32_t address, std::uint8_t* out, std::size_t count) const;
  // False when refused: outside one region, flash or configuration words while the
  // application runs.
  bool write(std::uint32_t address, const std::uint8_t* data, std::size_t count, Mode mode);
  // Erases every 64-byte flash block that [address, address + length) touches, or the given
  // EEPROM bytes. Configuration words cannot be erased.
  bool erase(std::uint32_t address, std::uint32_t length, Mode mode);

  std::vector<std::uint8_t>& flash() { return flash_; }
  const std::vector<std::uint8_t>& flash() const { return flash_; }
  std::array<std::uint8_t, kConfigSize>& config() { return config_; }
  const std::array<std::uint8_t, kConfigSize>& config() const { return config_; }
  std::array<std::uint8_t, kEepromSize>& eeprom() { return eeprom_; }
  const std::array<std::uint8_t, kEepromSize>& eeprom() const { return eeprom_; }

 private:
  std::vector<std::uint8_t> flash_;
  std::array<std::uint8_t, kConfigSize> config_{};
  std::array<std::uint8_t, kEepromSize> eeprom_{};
};

}  // namespace qx5::sim
