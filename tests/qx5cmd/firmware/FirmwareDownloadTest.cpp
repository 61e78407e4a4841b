#include "qx5cmd/firmware/FirmwareDownload.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qx5cmd/firmware/FakeMemoryGauge.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace qx5cmd {
namespace {

using ::testing::ElementsAre;

class FirmwareDownloadTest : public testing::MemoryToolsTest {
 protected:
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

}  // namespace
}  // namespace qx5cmd
