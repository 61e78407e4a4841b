#include "qx5cmd/firmware/EepromProcedures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "qx5cmd/firmware/FakeMemoryGauge.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

constexpr std::int32_t kSerial = 12345;

using testing::settingsImage;

class EepromProceduresTest : public testing::MemoryToolsTest {
 protected:
  void putLive(const EEPROM::Image& image) { gauge_.putLive(image); }
  void putDefaults(const EEPROM::Image& image) { gauge_.putDefaults(image); }
  EEPROM::Image live() const { return gauge_.live(); }
  EEPROM::Image defaults() const { return gauge_.defaults(); }
  bool upgrade(int target, bool copy) {
    return upgradeEeprom(transfer_, kSerial, target, copy) == EepromOutcome::done;
  }
  static bool exists(const char* name) { return std::filesystem::exists(name); }

  ProgressMeter meter_{[](const std::string&) {}};
  MemoryTransfer transfer_{gauge_, meter_};
};

TEST_F(EepromProceduresTest, Version16LiveWithCalibratedDefaultsConvertsOnlyTheLiveImage) {
  putLive(settingsImage(16));
  putDefaults(settingsImage(17));
  const EEPROM::Image oldDefaults = defaults();
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_EQ(live()[0], 17);
  EXPECT_EQ(live()[1008], 0x5B);
  EXPECT_EQ(defaults(), oldDefaults);
  EXPECT_TRUE(gauge_.callsStartingWith("doBoot").empty());
  EXPECT_TRUE(gauge_.callsStartingWith("erase").empty());
  const std::string text = output();
  EXPECT_THAT(text,
              HasSubstr("converting eeprom from version 16 to version 17\ndownloading eeprom\n"));
  // The backup holds the image as it was read, before conversion.
  EEPROM backup(kSerial, "eeprom");
  ASSERT_TRUE(backup.loadFromFile("eeprom"));
  EXPECT_EQ(backup.version(), 16);
}

TEST_F(EepromProceduresTest, NothingIsWrittenWhenAllIsAlreadyTheTargetVersion) {
  putLive(settingsImage(17));
  putDefaults(settingsImage(17));
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_TRUE(gauge_.callsStartingWith("erase").empty());
  EXPECT_TRUE(exists("eeprom.12345.hex"));
  EXPECT_TRUE(exists("defaults.12345.hex"));

  // A second run reads the gauge again, finds its copies backed up, and writes nothing.
  output();
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_FALSE(exists("eeprom.12345.1.hex"));
  EXPECT_THAT(output(), HasSubstr("file \"eeprom.12345.hex\" already holds this eeprom\n"));
}

TEST_F(EepromProceduresTest, BlankDefaultsAreReplacedByTheLiveSettings) {
  putLive(settingsImage(17));
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_EQ(defaults(), live());
  EXPECT_THAT(output(), HasSubstr("creating factory defaults from current eeprom values\n"));
  EEPROM saved(kSerial, "defaults");
  ASSERT_TRUE(saved.loadFromFile("defaults"));
  EXPECT_EQ(saved.image(), live());
}

TEST_F(EepromProceduresTest, TheCopyFlagReadsTheGaugeAndAlwaysRewritesTheDefaults) {
  putLive(settingsImage(17, 2020));
  putDefaults(settingsImage(17, 2019));
  // An older backup of the live image: neither read nor overwritten.
  EEPROM old(kSerial, "eeprom");
  old.image() = settingsImage(16, 2018);
  old.saveToFile("eeprom");
  const std::string before = qx5::test::readFile("eeprom.12345.hex");
  output();

  ASSERT_TRUE(upgrade(17, true));
  EXPECT_EQ(defaults(), live());
  EXPECT_EQ(live(), settingsImage(17, 2020));
  EXPECT_EQ(qx5::test::readFile("eeprom.12345.hex"), before);
  const std::string text = output();
  EXPECT_THAT(text, Not(HasSubstr("loading eeprom from file")));
  EXPECT_THAT(text, HasSubstr("saving eeprom to \"eeprom.12345.1.hex\" (\"eeprom.12345.hex\" "
                              "holds an earlier copy)\n"));
  EXPECT_THAT(text, HasSubstr("copying eeprom to factory defaults\n"));
}

TEST_F(EepromProceduresTest, AnInvalidLiveImageAbortsBeforeAnyWrite) {
  putLive(settingsImage(17, 2020, 999));  // another gauge's image
  putDefaults(settingsImage(16));
  EXPECT_FALSE(upgrade(17, false));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_TRUE(gauge_.callsStartingWith("erase").empty());
  EXPECT_THAT(output(), HasSubstr("aborting eeprom upgrade because eeprom is invalid\n"));

  EXPECT_FALSE(saveSettings(transfer_, kSerial));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_THAT(output(), HasSubstr("aborting save settings because eeprom is invalid\n"));
}

// The first blocks hold the version and serial number: a cut read would look valid.
TEST_F(EepromProceduresTest, AHalfReadLiveImageIsNeitherBackedUpNorWrittenBack) {
  putLive(settingsImage(16));
  putDefaults(settingsImage(16));
  gauge_.uploadsLeft = 5;
  EXPECT_FALSE(upgrade(17, false));
  EXPECT_FALSE(exists("eeprom.12345.hex"));
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_THAT(output(), HasSubstr("aborting eeprom upgrade because eeprom could not be read\n"));
}

// Half-read defaults look uncalibrated: the factory calibration must not be overwritten.
TEST_F(EepromProceduresTest, HalfReadDefaultsAreNeitherBackedUpNorReplaced) {
  putLive(settingsImage(17));
  putDefaults(settingsImage(17, 2019));
  gauge_.uploadsLeft = 22 + 5;  // the whole live image, then part of the defaults
  const EEPROM::Image factory = defaults();
  EXPECT_FALSE(upgrade(17, false));
  EXPECT_TRUE(exists("eeprom.12345.hex"));
  EXPECT_FALSE(exists("defaults.12345.hex"));
  EXPECT_EQ(defaults(), factory);
  EXPECT_TRUE(gauge_.callsStartingWith("erase").empty());
}

TEST_F(EepromProceduresTest, UncalibratedDefaultsAreReplacedThroughTheBootloader) {
  putLive(settingsImage(17, 2020));
  putDefaults(settingsImage(17, 2007));
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_EQ(defaults(), live());
  EXPECT_EQ(gauge_.callsStartingWith("doBoot 0").size(), 1u);
  EXPECT_EQ(gauge_.callsStartingWith("erase"), std::vector<std::string>{"erase 1f000 1010"});
  EXPECT_THAT(output(), HasSubstr("default factory settings are uncalibrated,... saving eeprom to "
                                  "factory defaults\n"));
}

TEST_F(EepromProceduresTest, SaveSettingsCopiesTheLiveImageIntoTheDefaults) {
  putLive(settingsImage(17, 2021));
  putDefaults(settingsImage(17, 2015));
  ASSERT_TRUE(saveSettings(transfer_, kSerial));
  EXPECT_EQ(defaults(), live());
  EXPECT_TRUE(exists("eeprom.12345.hex"));
  EXPECT_THAT(output(), HasSubstr("downloading default factory settings\n"));
}

// Backups are recovery copies: the gauge's own sound settings win over them, and each new
// copy is kept under a name of its own. Only a gauge whose image is invalid is restored from
// the newest.
TEST_F(EepromProceduresTest, TheGaugesOwnSettingsWinOverBackupsAndEveryCopyIsKept) {
  putLive(settingsImage(16, 2012));
  putDefaults(settingsImage(16, 2012));
  ASSERT_TRUE(upgrade(17, false));
  const std::string first = qx5::test::readFile("eeprom.12345.hex");

  // Recalibrated since; the same target again leaves the gauge alone.
  putLive(settingsImage(17, 2023));
  gauge_.written.clear();
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_EQ(live(), settingsImage(17, 2023));
  EXPECT_TRUE(gauge_.written.empty());
  EEPROM kept(kSerial, "eeprom");
  ASSERT_TRUE(kept.readFile("eeprom.12345.1.hex"));
  EXPECT_EQ(kept.image(), settingsImage(17, 2023));
  EXPECT_EQ(qx5::test::readFile("eeprom.12345.hex"), first);

  // Back to layout 16: from the gauge's settings, not from the first backup.
  ASSERT_TRUE(upgrade(16, false));
  EXPECT_EQ(live()[0], 16);
  EEPROM now(kSerial, "eeprom");
  now.image() = live();
  EXPECT_EQ(now.calibrationDate().year, 2023);
  EXPECT_EQ(defaults()[0], 16);

  // Settings wiped: restored from the newest backup, saying so.
  std::fill(gauge_.eeprom.begin(), gauge_.eeprom.end(), 0xFF);
  output();
  ASSERT_TRUE(upgrade(16, false));
  now.image() = live();
  EXPECT_EQ(now.calibrationDate().year, 2023);
  EXPECT_THAT(output(), HasSubstr("the eeprom on the gauge is invalid: using the backup "
                                  "\"eeprom.12345.1.hex\"\n"));

  // A read cut short is no reason to write a backup to a gauge that has probably gone.
  gauge_.uploadsLeft = 5;
  gauge_.written.clear();
  EXPECT_EQ(upgradeEeprom(transfer_, kSerial, 17, false), EepromOutcome::imageUnusable);
  EXPECT_TRUE(gauge_.written.empty());
  EXPECT_FALSE(exists("eeprom.12345.writing.hex"));
}

// A write cut part way leaves an image that may look valid. Its record makes the next run
// finish the write, even when the cut left the gauge in its bootloader, and the result is what
// an uncut run leaves.
TEST_F(EepromProceduresTest, AWriteCutPartWayIsFinishedFromItsRecord) {
  const struct {
    const char* where;
    long downloadsLeft, uploadsLeft;
  } cuts[] = {
      {"live write", 5, -1},
      {"live read-back", -1, 22 + 5},
      {"defaults write", 22 + 5, -1},
  };
  auto fresh = [this] {
    gauge_ = testing::FakeMemoryGauge{};
    putLive(settingsImage(16));
    putDefaults(settingsImage(16, 2019));
    for (const auto& entry : std::filesystem::directory_iterator("."))
      std::filesystem::remove(entry.path());
  };
  fresh();
  ASSERT_TRUE(upgrade(17, false));
  const EEPROM::Image uncutLive = live(), uncutDefaults = defaults();
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.where);
    fresh();
    gauge_.downloadsLeft = cut.downloadsLeft;
    gauge_.uploadsLeft = cut.uploadsLeft;
    EXPECT_EQ(upgradeEeprom(transfer_, kSerial, 17, false), EepromOutcome::failed);
    EXPECT_TRUE(exists(cut.downloadsLeft == 22 + 5 ? "defaults.12345.writing.hex"
                                                   : "eeprom.12345.writing.hex"));
    gauge_.downloadsLeft = gauge_.uploadsLeft = -1;
    output();
    ASSERT_TRUE(upgradeEeprom(transfer_, gauge_.serialNumber(), 17, false) == EepromOutcome::done);
    EXPECT_THAT(output(), HasSubstr("finishing an interrupted write"));
    EXPECT_EQ(live(), uncutLive);
    EXPECT_EQ(defaults(), uncutDefaults);
    EXPECT_FALSE(exists("eeprom.12345.writing.hex"));
    EXPECT_FALSE(exists("defaults.12345.writing.hex"));
    EEPROM first(kSerial, "eeprom");
    ASSERT_TRUE(first.readFile("eeprom.12345.hex"));
    EXPECT_EQ(first.image(), settingsImage(16));
  }
}

}  // namespace
}  // namespace qx5cmd
