#include "gaugesim/model/Memory.h"

#include <algorithm>

namespace qx5::sim {
namespace {

struct Span {
  std::uint8_t* base;
  std::uint32_t start;
  std::uint32_t size;
};

// The region holding [address, address + count), or none when the range leaves it.
bool locate(Memory& memory, std::uint32_t address, std::size_t count, Span& span, bool& isFlash) {
  const Span regions[] = {
      {memory.flash().data(), 0, Memory::kFlashSize},
      {memory.config().data(), Memory::kConfigAddress, Memory::kConfigSize},
      {memory.eeprom().data(), Memory::kEepromAddress, Memory::kEepromSize},
  };
  for (const auto& region : regions) {
    if (address >= region.start && address - region.start <= region.size &&
        count <= region.size - (address - region.start)) {
      span = region;
      isFlash = region.start == 0;
      return true;
    }
  }
  return false;
}

}  // namespace

Memory::Memory() : flash_(kFlashSize, 0xFF) {
  // Configuration words as a typical build programs them.
  static constexpr std::uint8_t kConfig[kConfigSize] = {0x24, 0x0E, 0x3F, 0x1E, 0x00, 0x81,
                                                        0x0F, 0xC0, 0x0F, 0xE0, 0x0F, 0x40,
                                                        0xFF, 0xFF, 0xFF, 0xFF};
  std::copy(std::begin(kConfig), std::end(kConfig), config_.begin());
  eeprom_.fill(0xFF);
}

void Memory::read(std::uint32_t address, std::uint8_t* out, std::size_t count) const {
  for (std::size_t i = 0; i < count; ++i) {
    const std::uint64_t a = std::uint64_t{address} + i;
    std::uint8_t value = 0;
    if (a < kFlashSize)
      value = flash_[a];
    else if (a >= kConfigAddress && a < kConfigAddress + kConfigSize)
      value = config_[a - kConfigAddress];
    else if (a >= kEepromAddress && a < kEepromAddress + kEepromSize)
      value = eeprom_[a - kEepromAddress];
    out[i] = value;
  }
}

bool Memory::write(std::uint32_t address, const std::uint8_t* data, std::size_t count, Mode mode) {
  Span span{};
  bool isFlash = false;
  if (!locate(*this, address, count, span, isFlash)) return false;
  const bool isEeprom = span.start == kEepromAddress;
  if (!isEeprom && mode != Mode::Bootloader) return false;
  std::uint8_t* target = span.base + (address - span.start);
  for (std::size_t i = 0; i < count; ++i) target[i] = isFlash ? (target[i] & data[i]) : data[i];
  return true;
}

bool Memory::erase(std::uint32_t address, std::uint32_t length, Mode mode) {
  Span span{};
  bool isFlash = false;
  if (!locate(*this, address, length, span, isFlash)) return false;
  if (span.start == kConfigAddress) return false;
  if (isFlash) {
    if (mode != Mode::Bootloader) return false;
    if (length == 0) return true;
    const std::uint32_t first = address / kEraseBlock * kEraseBlock;
    const std::uint32_t end = std::min<std::uint32_t>(
        (address + length + kEraseBlock - 1) / kEraseBlock * kEraseBlock, kFlashSize);
    std::fill(flash_.begin() + first, flash_.begin() + end, 0xFF);
    return true;
  }
  std::fill_n(span.base + (address - span.start), length, 0xFF);
  return true;
}

}  // namespace qx5::sim
