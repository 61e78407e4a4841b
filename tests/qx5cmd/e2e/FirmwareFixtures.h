// Firmware files and the memory of simulated gauges, as the firmware end-to-end tests see them.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <string>
#include <vector>

#include "qx5cmd/e2e/EndToEnd.h"

namespace qx5cmd::e2e {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::uint32_t kFlashSize = 0x20000;
inline constexpr std::uint32_t kDefaults = 0x1F000;
inline constexpr std::size_t kImage = 1010;
inline constexpr std::uint32_t kVersionRecordAddress = 0x1EFC0;

// What a simulated gauge keeps in NAME.state: a 12-byte tag, the bootloader flag, then flash,
// configuration words and data EEPROM.
struct GaugeMemory {
  bool bootloader = false;
  Bytes flash, config, eeprom;

  Bytes defaults() const {
    return Bytes(flash.begin() + kDefaults, flash.begin() + kDefaults + kImage);
  }
  Bytes liveImage() const { return Bytes(eeprom.begin(), eeprom.begin() + kImage); }
  // Running its application, flashed with the release of this version.
  bool runs(const std::string& version) const {
    const std::string tag = "VER:" + version;
    return !bootloader && std::equal(tag.begin(), tag.end(), flash.begin() + kVersionRecordAddress);
  }
  bool operator==(const GaugeMemory&) const = default;
};

inline std::optional<GaugeMemory> readState(const fs::path& file) {
  const std::string bytes = readFile(file);
  constexpr std::size_t kTag = 12, kConfig = 16, kEeprom = 1024;
  if (bytes.size() < kTag + 1 + kFlashSize + kConfig + kEeprom) return std::nullopt;
  auto slice = [&](std::size_t at, std::size_t n) {
    return Bytes(bytes.begin() + static_cast<long>(at), bytes.begin() + static_cast<long>(at + n));
  };
  GaugeMemory memory;
  memory.bootloader = bytes[kTag] != 0;
  memory.flash = slice(kTag + 1, kFlashSize);
  memory.config = slice(kTag + 1 + kFlashSize, kConfig);
  memory.eeprom = slice(kTag + 1 + kFlashSize + kConfig, kEeprom);
  return memory;
}

// The image of a HEX file from its lowest address, as objcopy reads it.
inline Bytes hexImage(const fs::path& file) {
  const fs::path binary = file.string() + ".bin";
  ProcessResult r = testing::runProcess(
      "/usr/bin/objcopy", {"-I", "ihex", "-O", "binary", file.string(), binary.string()});
  EXPECT_EQ(r.exitStatus, 0) << file << ": " << r.err;
  const std::string bytes = readFile(binary);
  return Bytes(bytes.begin(), bytes.end());
}

// Intel HEX text for blocks of bytes, 16 to a record.
class HexText {
 public:
  HexText& block(std::uint32_t address, const Bytes& bytes) {
    for (std::size_t at = 0; at < bytes.size(); at += 16) {
      const std::uint32_t a = address + static_cast<std::uint32_t>(at);
      if (a >> 16 != upper_) {
        upper_ = a >> 16;
        record(0, 4, {static_cast<std::uint8_t>(upper_ >> 8), static_cast<std::uint8_t>(upper_)});
      }
      const auto end = bytes.begin() + static_cast<long>(std::min(at + 16, bytes.size()));
      record(a & 0xFFFF, 0, Bytes(bytes.begin() + static_cast<long>(at), end));
    }
    return *this;
  }
  std::string text() {
    record(0, 1, {});
    return text_;
  }

 private:
  void record(std::uint32_t address, std::uint8_t type, const Bytes& data) {
    Bytes all = {static_cast<std::uint8_t>(data.size()), static_cast<std::uint8_t>(address >> 8),
                 static_cast<std::uint8_t>(address), type};
    all.insert(all.end(), data.begin(), data.end());
    std::uint8_t sum = 0;
    text_ += ":";
    char digits[3];
    for (std::uint8_t b : all) {
      std::snprintf(digits, sizeof digits, "%02X", b);
      text_ += digits;
      sum = static_cast<std::uint8_t>(sum + b);
    }
    std::snprintf(digits, sizeof digits, "%02X", static_cast<std::uint8_t>(-sum));
    text_ += std::string(digits) + "\n";
  }
  std::uint32_t upper_ = 0xFFFFFFFF;
  std::string text_;
};

// A version record as the simulated gauge reads it at 0x1EFC0.
inline Bytes versionRecord(const std::string& version) {
  Bytes record(64, 0xFF);
  const std::string text = "VER:" + version;
  std::copy(text.begin(), text.end(), record.begin());
  record[text.size()] = 0;
  return record;
}

}  // namespace qx5cmd::e2e
