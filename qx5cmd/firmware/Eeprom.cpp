#include "qx5cmd/firmware/Eeprom.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace {

constexpr uint32_t kFileAddress = 0xF00000;  // data EEPROM, whichever copy the file holds
constexpr int32_t kBootloaderSerial = 5555555;

constexpr size_t kSerialOffset = 31;
constexpr size_t kCookieOffset = 1008;
constexpr uint8_t kCookie[2] = {0x5B, 0x4A};  // 0x4A5B little-endian

// Where the two layout versions differ.
struct Layout {
  int version;
  size_t settingsBlock;  // the 84-byte block holding the calibration date
  size_t dateOffset;     // day, month, 16-bit year within the image
  size_t tableEntry;     // size of each of the 15 table entries
};
constexpr Layout kVersion16{16, 268, 302, 14};
constexpr Layout kVersion17{17, 204, 238, 18};
constexpr size_t kLeadingBlock = 204;
constexpr size_t kSettingsBlockSize = 84;
constexpr size_t kTableOffset = 512;
constexpr size_t kTableEntries = 15;
constexpr size_t kCommonEntryBytes = 14;

const Layout* layoutOf(int version) {
  if (version == 16) return &kVersion16;
  if (version == 17) return &kVersion17;
  return nullptr;
}

}  // namespace

EEPROM::EEPROM(int32_t expectedSerial, std::string label, YearSource currentYear)
    : expectedSerial_(expectedSerial),
      label_(std::move(label)),
      currentYear_(std::move(currentYear)) {}

int EEPROM::utcYearNow() {
  using namespace std::chrono;
  const year_month_day today{floor<days>(system_clock::now())};
  return static_cast<int>(today.year());
}

bool EEPROM::isRealSerial(int32_t serial) {
  return serial != 0 && serial != kBootloaderSerial && serial != -1;
}

int32_t EEPROM::imageSerial() const {
  uint32_t value = 0;
  for (int i = 3; i >= 0; --i) value = value << 8 | image_[kSerialOffset + i];
  return static_cast<int32_t>(value);
}

EEPROM::CalibrationDate EEPROM::calibrationDate() const {
  const Layout* layout = layoutOf(version());
  if (!layout) return {};
  const size_t at = layout->dateOffset;
  return {image_[at + 2] | image_[at + 3] << 8, image_[at + 1], image_[at]};
}

bool EEPROM::isValid() const {
  return version() >= 16 && image_[1] <= 17 && isRealSerial(expectedSerial_) &&
         layoutOf(version()) && isRealSerial(imageSerial()) && imageSerial() == expectedSerial_;
}

bool EEPROM::isCalibrated() const {
  if (!isValid()) return false;
  const CalibrationDate date = calibrationDate();
  return date.year >= 2008 && date.year <= currentYear_() && date.month >= 1 && date.month <= 12 &&
         date.day >= 1 && date.day <= 31;
}

void EEPROM::describe() const {
  const bool known = layoutOf(version()) != nullptr;
  const CalibrationDate date = calibrationDate();
  qx5cmd::out("%s version %d, serial number %d, calibrated on %04d.%02d.%02d\n", label_.c_str(),
              version(), known ? imageSerial() : 0, date.year, date.month, date.day);
}

std::string EEPROM::fileName(const std::string& stem) const {
  return stem + "." + std::to_string(expectedSerial_) + ".hex";
}

bool EEPROM::readFile(const std::string& path) {
  HexReader reader;
  if (!reader.load(path) || reader.ranges().size() != 1) return false;
  // The range's address is not checked: a defaults backup holds the image at the live address.
  const std::vector<uint8_t>& bytes = reader.ranges().front().bytes;
  std::memcpy(image_.data(), bytes.data(), std::min(bytes.size(), kSize));
  return true;
}

bool EEPROM::loadFromFile(const std::string& stem) {
  const std::string path = fileName(stem);
  std::error_code ignored;
  if (std::filesystem::exists(path, ignored))
    qx5cmd::out("loading %s from file \"%s\"\n", label_.c_str(), path.c_str());
  if (!readFile(path)) return false;
  setMagicCookie();
  describe();
  return true;
}

bool EEPROM::writeNewFile(const std::string& path) const {
  HexWriter writer(path, HexWriter::Create::newOnly);
  if (!writer.isOpen()) return false;
  writer.writeBlock(kFileAddress, image_.data(), kSize);
  writer.writeEndOfFileRecord();
  if (writer.close()) return true;
  // A truncated file would pass for a backup, or block every later one: remove it.
  qx5cmd::out("error writing \"%s\"\n", path.c_str());
  std::error_code ignored;
  std::filesystem::remove(path, ignored);
  return false;
}

void EEPROM::saveToFile(const std::string& stem) const {
  if (!isValid()) return;
  const std::string path = fileName(stem);
  std::error_code ignored;
  if (std::filesystem::exists(path, ignored)) {
    qx5cmd::out("file \"%s\" already exists\n", path.c_str());
    return;
  }
  qx5cmd::out("saving %s to \"%s\"\n", label_.c_str(), path.c_str());
  writeNewFile(path);
}

bool EEPROM::conformToVersion(int targetVersion) {
  if (version() == 16) {
    std::fill(image_.begin() + 352, image_.begin() + 512, 0);
    std::fill(image_.begin() + 722, image_.end(), 0);
  }
  setMagicCookie();
  bool converted = false;
  if (targetVersion > 16 && version() == 16) {
    convert16To17();
    converted = true;
  }
  if (targetVersion < 17 && version() == 17) {
    convert17To16();
    converted = true;
  }
  return converted;
}

void EEPROM::setMagicCookie() { std::memcpy(&image_[kCookieOffset], kCookie, sizeof kCookie); }

namespace {

// Copies what both layouts share into a fresh zeroed image of the other layout.
EEPROM::Image convertLayout(const EEPROM::Image& old, const Layout& from, const Layout& to) {
  EEPROM::Image converted{};
  std::copy_n(old.begin(), kLeadingBlock, converted.begin());
  std::copy_n(old.begin() + from.settingsBlock, kSettingsBlockSize,
              converted.begin() + to.settingsBlock);
  for (size_t k = 0; k < kTableEntries; ++k) {
    const auto source = old.begin() + kTableOffset + from.tableEntry * k;
    const auto target = converted.begin() + kTableOffset + to.tableEntry * k;
    std::copy_n(source, kCommonEntryBytes, target);
    // Bytes only the longer entry has are unset, as erased memory reads.
    std::fill(target + kCommonEntryBytes, target + to.tableEntry, 0xFF);
  }
  std::memcpy(&converted[kCookieOffset], kCookie, sizeof kCookie);
  converted[0] = static_cast<uint8_t>(to.version);
  return converted;
}

}  // namespace

void EEPROM::convert16To17() {
  qx5cmd::out("converting %s from version 16 to version 17\n", label_.c_str());
  image_ = convertLayout(image_, kVersion16, kVersion17);
}

void EEPROM::convert17To16() {
  qx5cmd::out("converting %s from version 17 to version 16\n", label_.c_str());
  image_ = convertLayout(image_, kVersion17, kVersion16);
}
