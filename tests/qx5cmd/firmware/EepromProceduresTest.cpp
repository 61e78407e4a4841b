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

  // A second run prefers the backups and does not touch the gauge at all.
  gauge_.calls.clear();
  ASSERT_TRUE(upgrade(17, false));
  EXPECT_TRUE(gauge_.calls.empty());
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
  EXPECT_THAT(text, HasSubstr("file \"eeprom.12345.hex\" already exists\n"));
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

}  // namespace
}  // namespace qx5cmd
