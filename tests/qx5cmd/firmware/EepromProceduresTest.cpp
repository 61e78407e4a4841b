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
constexpr std::uint32_t kDefaults = 0x1F000;

// A settings image of `version` for the gauge, calibrated on `year`-06-15.
EEPROM::Image settingsImage(int version, int year = 2020, std::int32_t serial = kSerial) {
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

class EepromProceduresTest : public testing::MemoryToolsTest {
 protected:
  void putLive(const EEPROM::Image& image) {
    std::copy(image.begin(), image.end(), gauge_.eeprom.begin());
  }
  void putDefaults(const EEPROM::Image& image) {
    std::copy(image.begin(), image.end(), gauge_.flash.begin() + kDefaults);
  }
  EEPROM::Image live() const {
    EEPROM::Image image{};
    std::copy_n(gauge_.eeprom.begin(), image.size(), image.begin());
    return image;
  }
  EEPROM::Image defaults() const {
    EEPROM::Image image{};
    std::copy_n(gauge_.flash.begin() + kDefaults, image.size(), image.begin());
    return image;
  }
  bool upgrade(int target, bool copy) { return upgradeEeprom(transfer_, kSerial, target, copy); }
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
