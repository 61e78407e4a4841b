#include "qx5cmd/firmware/FirmwareDownload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "qx5cmd/firmware/FakeMemoryGauge.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace qx5cmd {
namespace {

using ::testing::ElementsAre;

class FirmwareDownloadTest : public testing::MemoryToolsTest {
 protected:
  // A release of 64 bytes of code at 0 in fw.2.hex.
  static void writeRelease() {
    HexWriter writer("fw.2.hex");
    const std::vector<std::uint8_t> code(64, 0x5A);
    writer.writeBlock(0, code.data(), code.size());
    writer.writeEndOfFileRecord();
  }
  bool download(int eepromVersion = 17) {
    FirmwareDownload request;
    request.fileStem = "fw";
    request.eepromVersion = eepromVersion;
    return downloadFirmware(transfer_, gauge_.serialNumber(), request);
  }
  ProgressMeter meter_{[](const std::string&) {}};
  MemoryTransfer transfer_{gauge_, meter_};
};

// A gauge plugged into the station in its bootloader has no settings of its own to upgrade.
TEST_F(FirmwareDownloadTest, TheStationSkipsTheEepromStepForAGaugeInItsBootloader) {
  {
    HexWriter writer("fw.2.hex");
    const std::vector<std::uint8_t> code(64, 0x5A);
    writer.writeBlock(0, code.data(), code.size());
    writer.writeEndOfFileRecord();
  }
  gauge_.bootloader = true;
  FirmwareDownload request;
  request.fileStem = "fw";
  request.eepromForBootloaderGauge = false;
  request.displayedVersion = "3.21";
  ASSERT_TRUE(downloadFirmware(transfer_, kBootloaderSerial, request));
  EXPECT_TRUE(gauge_.callsStartingWith("upload").empty());
  EXPECT_EQ(gauge_.flash[63], 0x5A);
  EXPECT_THAT(gauge_.shown, ElementsAre("1:Version", "2:3.21"));
}

// A release file that reaches into the factory defaults must not replace the gauge's own:
// the blocks holding them are neither erased nor written, the rest of the range is.
TEST_F(FirmwareDownloadTest, ARangeOverTheFactoryDefaultsLeavesThemAsTheyAre) {
  {
    HexWriter writer("fw.2.hex");
    const std::vector<std::uint8_t> code(0x600, 0xA5);  // 0x1EF00 to 0x1F4FF
    writer.writeBlock(0x1EF00, code.data(), code.size());
    writer.writeEndOfFileRecord();
  }
  std::fill(gauge_.flash.begin() + 0x1F000, gauge_.flash.begin() + 0x1F400, 0x11);
  gauge_.bootloader = true;
  FirmwareDownload request;
  request.fileStem = "fw";
  request.eepromForBootloaderGauge = false;
  ASSERT_TRUE(downloadFirmware(transfer_, kBootloaderSerial, request));
  EXPECT_THAT(gauge_.callsStartingWith("erase"), ElementsAre("erase 1ef00 256", "erase 1f400 256"));
  auto all = [&](std::uint32_t from, std::uint32_t to, std::uint8_t value) {
    return std::all_of(gauge_.flash.begin() + from, gauge_.flash.begin() + to,
                       [value](std::uint8_t b) { return b == value; });
  };
  EXPECT_TRUE(all(0x1EF00, 0x1F000, 0xA5));
  EXPECT_TRUE(all(0x1F000, 0x1F400, 0x11));
  EXPECT_TRUE(all(0x1F400, 0x1F500, 0xA5));
  EXPECT_THAT(output(), ::testing::HasSubstr("bytes at 1F000 to 1F3FF are not written"));
}

// Settings the EEPROM step could not read or use were left as they were: the firmware goes on.
// Settings it began to write and did not finish, or a record of such a write it cannot read,
// stop the firmware before the bootloader.
TEST_F(FirmwareDownloadTest, OnlyAnUnusableImageLetsTheFirmwareGoOnWithoutTheEeprom) {
  writeRelease();
  const struct {
    const char* what;
    long uploadsLeft, downloadsLeft;
    bool flashed;
  } cases[] = {
      {"invalid image", -1, -1, true},
      {"unreadable image", 3, -1, true},
      {"live write cut", -1, 4, false},
      {"unreadable record", -1, -1, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::string what = c.what;
    gauge_ = testing::FakeMemoryGauge{};
    if (what != "invalid image") gauge_.putLive(testing::settingsImage(16));
    gauge_.putDefaults(testing::settingsImage(17));
    gauge_.uploadsLeft = c.uploadsLeft;
    gauge_.downloadsLeft = c.downloadsLeft;
    if (what == "unreadable record") std::ofstream("eeprom.12345.writing.hex") << ":00\n";
    EXPECT_EQ(download(), c.flashed);
    EXPECT_EQ(gauge_.flash[0] == 0x5A, c.flashed);
    EXPECT_EQ(gauge_.callsStartingWith("doBoot 0").empty(), !c.flashed);
    EXPECT_EQ(output().find("the eeprom upgrade did not finish") != std::string::npos, !c.flashed);
    for (const auto& entry : std::filesystem::directory_iterator("."))
      if (entry.path().filename() != "fw.2.hex") std::filesystem::remove(entry.path());
  }
}

// The application does not tell its chipset: the file is looked for from the bootloader, and a
// missing one starts the application again rather than leaving the gauge in its bootloader.
TEST_F(FirmwareDownloadTest, AChipsetOnlyTheBootloaderTellsIsAskedThere) {
  gauge_.chipsetInBootloaderOnly = true;
  gauge_.putLive(testing::settingsImage(17));
  gauge_.putDefaults(testing::settingsImage(17));
  EXPECT_FALSE(download());
  EXPECT_FALSE(gauge_.bootloader);
  EXPECT_THAT(gauge_.callsStartingWith("doBoot"), ElementsAre("doBoot 0", "doBoot 1"));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_THAT(output(), ::testing::HasSubstr("error reading fw.2.hex\n"));

  writeRelease();
  EXPECT_TRUE(download());
  EXPECT_EQ(gauge_.flash[0], 0x5A);
  EXPECT_FALSE(gauge_.bootloader);
}

}  // namespace
}  // namespace qx5cmd
