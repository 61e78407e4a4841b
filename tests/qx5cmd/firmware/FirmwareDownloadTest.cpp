#include "qx5cmd/firmware/FirmwareDownload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fstream>

#include "qx5cmd/firmware/FakeMemoryGauge.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace qx5cmd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;

class FirmwareDownloadTest : public testing::MemoryToolsTest {
 protected:
  void SetUp() override {
    MemoryToolsTest::SetUp();
    // Live settings and defaults the EEPROM step leaves alone.
    gauge_.eeprom[0] = 17;
    gauge_.serial = 12345;
  }
  // fw.2.hex with `length` bytes of `value` at each address.
  static void writeFirmware(std::initializer_list<std::uint32_t> addresses, std::size_t length,
                            std::uint8_t value = 0x5A) {
    HexWriter writer("fw.2.hex");
    std::vector<std::uint8_t> bytes(length, value);
    for (std::uint32_t address : addresses) writer.writeBlock(address, bytes.data(), bytes.size());
    writer.writeEndOfFileRecord();
  }
  bool download() {
    FirmwareDownload request;
    request.fileStem = "fw";
    request.displayedVersion = "fw";
    return downloadFirmware(transfer_, gauge_.serial, request);
  }
  // Calls that change the gauge.
  std::vector<std::string> changes() const {
    std::vector<std::string> found;
    for (const auto& c : gauge_.calls)
      if (c.rfind("upload", 0) != 0) found.push_back(c);
    return found;
  }

  ProgressMeter meter_{[](const std::string&) {}};
  MemoryTransfer transfer_{gauge_, meter_};
};

TEST_F(FirmwareDownloadTest, WritesOnlyTheRangesBelowTheConfigurationWords) {
  writeFirmware({0x000000, 0x300000, 0xF00000}, 100);
  ASSERT_TRUE(download());
  EXPECT_EQ(gauge_.flash[0], 0x5A);
  EXPECT_EQ(gauge_.flash[99], 0x5A);
  EXPECT_EQ(gauge_.flash[100], 0xFF);
  EXPECT_THAT(gauge_.callsStartingWith("erase"), ElementsAre("erase 0 100"));
  EXPECT_EQ(gauge_.written, (std::vector<std::uint32_t>{0, 48, 96}));
  EXPECT_FALSE(gauge_.bootloader);
  EXPECT_THAT(gauge_.shown, ElementsAre("1:Version", "2:fw"));
  EXPECT_THAT(output(), HasSubstr("downloading fw.2.hex (300 bytes)\n\n"));
}

// A half-read image must never reach flash: the gauge is not even switched.
TEST_F(FirmwareDownloadTest, AFileThatDoesNotReadWholeIsNeverWritten) {
  const struct {
    const char* text;
    const char* message;
  } files[] = {
      {nullptr, "error reading fw.2.hex\n"},  // missing
      {"", "error reading fw.2.hex\n"},
      {":10000000000102030405060708090A0B0C0D0E0F00\n:00000001FF\n", "error reading fw.2.hex\n"},
      {":10000000000102030405060708090A0B0C0D0E0F78\n", "error reading fw.2.hex\n"},  // no end
      {":1000000000010203040506\n:00000001FF\n", "error reading fw.2.hex\n"},         // cut
      {":00000001FF\n", "error loading .hex file\n"},
  };
  for (const auto& file : files) {
    std::filesystem::remove("fw.2.hex");
    if (file.text) std::ofstream("fw.2.hex") << file.text;
    gauge_.calls.clear();
    EXPECT_FALSE(download());
    EXPECT_THAT(output(), HasSubstr(file.message)) << (file.text ? file.text : "missing");
    EXPECT_THAT(changes(), ElementsAre()) << (file.text ? file.text : "missing");
  }
}

TEST_F(FirmwareDownloadTest, ARefusedWriteFailsTheDownloadInTheBootloader) {
  writeFirmware({0x000000}, 200);
  gauge_.refuseWrite = true;
  EXPECT_FALSE(download());
  EXPECT_TRUE(gauge_.bootloader);
  EXPECT_TRUE(gauge_.shown.empty());
}

TEST_F(FirmwareDownloadTest, TheStationSkipsTheEepromStepForAGaugeInItsBootloader) {
  writeFirmware({0x000000}, 64);
  gauge_.bootloader = true;
  FirmwareDownload request;
  request.fileStem = "fw";
  request.eepromForBootloaderGauge = false;
  request.displayedVersion = "3.21";
  ASSERT_TRUE(downloadFirmware(transfer_, kBootloaderSerial, request));
  EXPECT_TRUE(gauge_.callsStartingWith("upload f00000").empty());
  EXPECT_THAT(gauge_.shown, ElementsAre("1:Version", "2:3.21"));
}

}  // namespace
}  // namespace qx5cmd
