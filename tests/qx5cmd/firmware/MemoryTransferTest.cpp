#include "qx5cmd/firmware/MemoryTransfer.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qx5cmd/firmware/FakeMemoryGauge.h"

namespace qx5cmd {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;

// --- Progress meter

std::vector<std::string> figuresShown(ProgressMeter& meter, TransferKind kind,
                                      std::uint32_t address, std::uint32_t total,
                                      std::string& raw) {
  for (std::uint32_t done = 0; done < total; done += kTransferBlock)
    meter.update(kind, address + done, std::min(kTransferBlock, total - done));
  std::vector<std::string> figures;
  for (std::size_t at = 0; (at = raw.find('%', at)) != std::string::npos; ++at)
    figures.push_back(raw.substr(at - 6, 5));
  return figures;
}

TEST(ProgressMeter, ShowsTheProgressBeforeEachBlockAndNeverAHundred) {
  std::string raw;
  ProgressMeter meter([&](const std::string& text) { raw += text; });
  meter.reset(TransferKind::write, 1010);
  std::vector<std::string> figures = figuresShown(meter, TransferKind::write, 0xF00000, 1010, raw);
  ASSERT_EQ(figures.size(), 22u);
  EXPECT_EQ(figures.front(), "  0.0");
  EXPECT_EQ(figures.back(), " 99.8");  // 1008 of 1010 counted
  EXPECT_THAT(raw, Not(HasSubstr("100.0")));
  EXPECT_THAT(raw, HasSubstr("  0.0 %\b\b\b\b\b\b\b  4.7 %\b\b\b\b\b\b\b"));
  EXPECT_EQ(meter.counted(), 1010u);
}

TEST(ProgressMeter, CountsOnlyItsKindAndRedrawsWhenTheBlocksJump) {
  std::string raw;
  ProgressMeter meter([&](const std::string& text) { raw += text; });
  meter.reset(TransferKind::write, 512);
  meter.update(TransferKind::erase, 0x1E000, 512);  // not counted
  meter.update(TransferKind::read, 0x1DFE0, 48);    // not counted: same figure, new kind
  EXPECT_EQ(meter.counted(), 0u);
  EXPECT_EQ(raw, std::string("  0.0 %") + std::string(7, '\b') + "  0.0 %" + std::string(7, '\b'));
  raw.clear();
  meter.update(TransferKind::read, 0x1E010, 48);  // follows: same figure is not redrawn
  EXPECT_EQ(raw, "");
  meter.reset(TransferKind::write, 0);  // nothing to count: stays at zero, no division
  meter.update(TransferKind::write, 0, 48);
  EXPECT_THAT(raw, HasSubstr("  0.0 %"));
}

// --- Field upgrades

TEST(FieldUpgrade, OnlyFirmwareOneAndTwoCannotBeUpgraded) {
  EXPECT_FALSE(supportsFieldUpgrade("2.10"));
  EXPECT_FALSE(supportsFieldUpgrade("1.9"));
  EXPECT_TRUE(supportsFieldUpgrade("10.2"));
  EXPECT_TRUE(supportsFieldUpgrade("3.01"));
  EXPECT_TRUE(supportsFieldUpgrade("2"));
  EXPECT_TRUE(supportsFieldUpgrade(""));
}

// --- Transfers against the model

class MemoryTransferTest : public testing::MemoryToolsTest {
 protected:
  ProgressMeter meter_{[](const std::string&) {}};
  MemoryTransfer transfer_{gauge_, meter_};
};

TEST_F(MemoryTransferTest, ReadsInBlocksOf48WithTheRemainderLast) {
  std::vector<std::uint8_t> buffer(1010);
  gauge_.eeprom[1009] = 0x42;
  ASSERT_TRUE(transfer_.read(0xF00000, 1010, buffer.data()));
  const auto uploads = gauge_.callsStartingWith("upload");
  ASSERT_EQ(uploads.size(), 22u);
  EXPECT_EQ(uploads[0], "upload f00000 48");
  EXPECT_EQ(uploads[20], "upload f003c0 48");
  EXPECT_EQ(uploads[21], "upload f003f0 2");
  EXPECT_EQ(buffer[1009], 0x42);
}

TEST_F(MemoryTransferTest, AFailedOrInterruptedReadStopsAtOnce) {
  std::vector<std::uint8_t> buffer(576);
  gauge_.uploadsLeft = 3;
  EXPECT_FALSE(transfer_.read(0x1DFE0, 576, buffer.data()));
  EXPECT_EQ(gauge_.callsStartingWith("upload").size(), 4u);
  EXPECT_EQ(output(), "");  // a failed read says nothing itself

  gauge_.calls.clear();
  gauge_.uploadsLeft = -1;
  requestBreak();
  EXPECT_FALSE(transfer_.read(0x1DFE0, 576, buffer.data()));
  EXPECT_TRUE(gauge_.calls.empty());
}

TEST_F(MemoryTransferTest, EraseRegionGoesIn2048ByteStepsAndEachEraseIsTriedFiveTimes) {
  gauge_.bootloader = true;
  ASSERT_TRUE(transfer_.eraseRegion(0x000000, 5000));
  EXPECT_THAT(gauge_.callsStartingWith("erase"),
              ElementsAre("erase 0 2048", "erase 800 2048", "erase 1000 904"));

  gauge_.calls.clear();
  gauge_.refuseErase = true;
  EXPECT_FALSE(transfer_.eraseRegion(0x000000, 5000));
  EXPECT_EQ(gauge_.callsStartingWith("erase").size(), 5u);  // the first step fails: no more
  std::string text = output();
  EXPECT_EQ(text.size(), 5 * std::string("\nERROR erasing memory").size());

  gauge_.calls.clear();
  requestBreak();
  EXPECT_FALSE(transfer_.erase(0, 64));
  EXPECT_TRUE(gauge_.calls.empty());
}

TEST_F(MemoryTransferTest, SwitchingToTheBootloader) {
  gauge_.bootloader = true;  // already there: silent success
  EXPECT_TRUE(transfer_.switchToBootloader());
  EXPECT_EQ(output(), "");
  EXPECT_TRUE(gauge_.calls.empty());

  gauge_.bootloader = false;
  EXPECT_TRUE(transfer_.switchToBootloader());
  EXPECT_EQ(output(),
            "Starting firmware:       3.05\nswitching to bootloader...\n"
            "Bootloader firmware:     BOOT 1.02\n");
  EXPECT_EQ(slept(), kBootloaderWaitMs);
}

TEST_F(MemoryTransferTest, AGaugeThatNeverEntersTheBootloaderGivesUpAfterFiveAttempts) {
  gauge_.stuck = true;
  gauge_.error = "timeout\n";
  EXPECT_FALSE(transfer_.switchToBootloader());
  EXPECT_EQ(gauge_.callsStartingWith("doBoot 0").size(), 5u);
  const std::string text = output();
  EXPECT_THAT(text, HasSubstr("switching to bootloader...\nERROR:\ntimeout\n"
                              "error switching to bootloader\nfirmware is version 3.05\n"));
}

TEST_F(MemoryTransferTest, LaunchingWaitsTenSecondsPerAttempt) {
  gauge_.bootloader = true;
  EXPECT_TRUE(transfer_.launchFirmware());
  EXPECT_EQ(output(), "launching new firmware...\nNew firmware:            3.05\n");
  EXPECT_EQ(slept(), kLaunchWaitMs);

  gauge_.bootloader = true;
  gauge_.stuck = true;
  gauge_.calls.clear();
  EXPECT_FALSE(transfer_.launchFirmware());
  EXPECT_EQ(gauge_.callsStartingWith("doBoot 1").size(), 5u);
}

TEST_F(MemoryTransferTest, AGaugeThatDoesNotAnswerHasNotLaunched) {
  gauge_.bootloader = true;
  for (const char* noAnswer : {"", "---"}) {
    gauge_.version = noAnswer;  // the application never answers
    EXPECT_FALSE(transfer_.launchFirmware());
    EXPECT_THAT(output(), Not(HasSubstr("New firmware:")));
  }
}

}  // namespace
}  // namespace qx5cmd
