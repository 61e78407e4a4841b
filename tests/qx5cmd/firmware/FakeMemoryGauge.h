// A gauge model behind the memory tools' interface: flash that only the bootloader may
// change, data EEPROM, a version that says "BOOT" in the bootloader, and a log of every call.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "qx5cmd/core/Session.h"
#include "qx5cmd/firmware/Eeprom.h"
#include "qx5cmd/firmware/MemoryGauge.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "support/TempDir.h"

namespace qx5cmd::testing {

class FakeMemoryGauge : public MemoryGauge {
 public:
  static constexpr std::uint32_t kFlashSize = 0x20000;
  static constexpr std::uint32_t kEeprom = 0xF00000;
  static constexpr std::uint32_t kDefaults = 0x1F000;

  FakeMemoryGauge() : flash(kFlashSize, 0xFF), eeprom(1024, 0xFF) {}

  bool upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) override {
    calls.push_back("upload " + hex(address) + " " + std::to_string(count));
    if (uploadsLeft == 0) return false;
    if (uploadsLeft > 0) --uploadsLeft;
    std::uint8_t* at = locate(address, count);
    if (!at) return false;
    std::copy_n(at, count, buffer);
    return true;
  }
  bool download(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer) override {
    calls.push_back("download " + hex(address) + " " + std::to_string(count));
    if (downloadsLeft == 0) return false;
    if (downloadsLeft > 0) --downloadsLeft;
    std::uint8_t* at = locate(address, count);
    if (refuseWrite || !at || (address < kFlashSize && !bootloader)) return false;
    std::copy_n(buffer, count, at);
    written.push_back(address);
    return true;
  }
  bool erase(std::uint32_t address, std::uint32_t length) override {
    calls.push_back("erase " + hex(address) + " " + std::to_string(length));
    std::uint8_t* at = locate(address, length);
    if (refuseErase || !at || !bootloader) return false;
    std::fill_n(at, length, 0xFF);
    return true;
  }
  bool doBoot(std::uint8_t mode) override {
    calls.push_back("doBoot " + std::to_string(mode));
    if (!stuck) bootloader = mode == 0;
    return true;
  }
  std::string firmwareVersion() override { return bootloader ? "BOOT 1.02" : version; }
  std::string errorMessage() override { return error; }
  int serialNumber() override { return bootloader ? 5555555 : serial; }
  int chipset() override { return chipsetInBootloaderOnly && !bootloader ? -1 : 2; }
  bool show(int line, const std::string& text) override {
    shown.push_back(std::to_string(line) + ":" + text);
    return true;
  }

  std::uint8_t* locate(std::uint32_t address, std::uint32_t count) {
    if (address < kFlashSize && count <= kFlashSize - address) return flash.data() + address;
    if (address >= kEeprom && address - kEeprom + count <= eeprom.size())
      return eeprom.data() + (address - kEeprom);
    return nullptr;
  }
  void putLive(const EEPROM::Image& image) {
    std::copy(image.begin(), image.end(), eeprom.begin());
  }
  void putDefaults(const EEPROM::Image& image) {
    std::copy(image.begin(), image.end(), flash.begin() + kDefaults);
  }
  EEPROM::Image live() const {
    EEPROM::Image image{};
    std::copy_n(eeprom.begin(), image.size(), image.begin());
    return image;
  }
  EEPROM::Image defaults() const {
    EEPROM::Image image{};
    std::copy_n(flash.begin() + kDefaults, image.size(), image.begin());
    return image;
  }
  std::vector<std::string> callsStartingWith(const std::string& prefix) const {
    std::vector<std::string> found;
    for (const auto& c : calls)
      if (c.rfind(prefix, 0) == 0) found.push_back(c);
    return found;
  }
  static std::string hex(std::uint32_t value) {
    char text[16];
    std::snprintf(text, sizeof text, "%x", value);
    return text;
  }

  std::vector<std::uint8_t> flash;
  std::vector<std::uint8_t> eeprom;
  bool bootloader = false;
  bool stuck = false;  // DoBoot changes nothing
  bool chipsetInBootloaderOnly = false;
  bool refuseWrite = false;
  bool refuseErase = false;
  long uploadsLeft = -1;    // uploads that still succeed; -1: all
  long downloadsLeft = -1;  // downloads that still succeed; -1: all
  std::string version = "3.05";
  std::string error;
  int serial = 12345;
  std::vector<std::string> calls;
  std::vector<std::uint32_t> written;  // addresses of successful downloads
  std::vector<std::string> shown;
};

// A settings image of `version` for gauge `serial`, calibrated on `year`-06-15.
inline EEPROM::Image settingsImage(int version, int year = 2020, std::int32_t serial = 12345) {
  EEPROM eeprom(serial, "image");
  auto& image = eeprom.image();
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  image[0] = static_cast<std::uint8_t>(version);
  image[1] = 1;
  for (int i = 0; i < 4; ++i)
    image[31 + i] = static_cast<std::uint8_t>(std::uint32_t(serial) >> (8 * i));
  const std::size_t date = version == 16 ? 302 : 238;
  image[date] = 15;
  image[date + 1] = 6;
  image[date + 2] = static_cast<std::uint8_t>(year);
  image[date + 3] = static_cast<std::uint8_t>(year >> 8);
  image[1008] = 0x5B;
  image[1009] = 0x4A;
  return image;
}

// No pauses, no break, standard output captured, and a folder of its own as working folder
// (backups land in the working folder).
class MemoryToolsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session() = Session{};
    session().sleep = [](int ms) { slept() += ms; };
    slept() = 0;
    clearBreakRequest();
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    ::testing::internal::CaptureStdout();
  }
  void TearDown() override {
    echoIfFailed(::testing::internal::GetCapturedStdout());
    std::filesystem::current_path(previous_);
    clearBreakRequest();
    session() = Session{};
  }
  // Standard output since the last call.
  std::string output() {
    std::string text = ::testing::internal::GetCapturedStdout();
    echoIfFailed(text);
    ::testing::internal::CaptureStdout();
    return text;
  }
  // Failure messages go to standard output too: they must not vanish with the capture.
  void echoIfFailed(const std::string& text) {
    if (HasFailure()) std::fputs(text.c_str(), stderr);
  }
  static int& slept() {
    static int total = 0;
    return total;
  }

  FakeMemoryGauge gauge_;
  qx5::test::TempDir folder_;
  std::filesystem::path previous_;
};

}  // namespace qx5cmd::testing
