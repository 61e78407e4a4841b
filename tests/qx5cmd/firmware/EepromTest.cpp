#include "qx5cmd/firmware/Eeprom.h"

#include <gtest/gtest.h>

#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexTestFiles.h"
#include "qx5cmd/firmware/HexWriter.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr int kThisYear = 2024;

int fixedYear() { return kThisYear; }

void putSerial(EEPROM::Image& image, int32_t serial) {
  for (int i = 0; i < 4; ++i) image[31 + i] = static_cast<uint8_t>(uint32_t(serial) >> (8 * i));
}

void putDate(EEPROM::Image& image, int year, int month, int day) {
  const size_t at = image[0] == 16 ? 302 : 238;
  image[at] = static_cast<uint8_t>(day);
  image[at + 1] = static_cast<uint8_t>(month);
  image[at + 2] = static_cast<uint8_t>(year);
  image[at + 3] = static_cast<uint8_t>(year >> 8);
}

// A calibrated image whose every other byte is distinct, so moved blocks can be traced.
EEPROM makeImage(int version, int32_t serial = 12345, const std::string& label = "eeprom") {
  EEPROM eeprom(serial, label, fixedYear);
  auto& image = eeprom.image();
  for (size_t i = 0; i < image.size(); ++i) image[i] = static_cast<uint8_t>(i * 7 + 3);
  image[0] = static_cast<uint8_t>(version);
  image[1] = 1;
  putSerial(image, serial);
  putDate(image, 2020, 6, 15);
  return eeprom;
}

}  // namespace

TEST(Eeprom, ValidityNeedsAKnownVersionAndMatchingRealSerials) {
  const struct {
    int version, byte1;
    int32_t expected, inImage;
    bool valid;
  } cases[] = {
      {16, 1, 12345, 12345, true},  {17, 17, 12345, 12345, true}, {17, 18, 12345, 12345, false},
      {15, 1, 12345, 12345, false}, {18, 1, 12345, 12345, false}, {16, 1, 5555555, 5555555, false},
      {16, 1, 0, 0, false},         {16, 1, -1, -1, false},       {16, 1, 12345, 12346, false},
      {16, 1, 12345, -1, false},
  };
  for (const auto& c : cases) {
    EEPROM eeprom = makeImage(16, c.expected);
    eeprom.image()[0] = static_cast<uint8_t>(c.version);
    eeprom.image()[1] = static_cast<uint8_t>(c.byte1);
    putSerial(eeprom.image(), c.inImage);
    EXPECT_EQ(eeprom.isValid(), c.valid)
        << c.version << " " << c.byte1 << " " << c.expected << " " << c.inImage;
  }
}

TEST(Eeprom, CalibrationDateBoundariesForBothLayouts) {
  const struct {
    int year, month, day;
    bool calibrated;
  } cases[] = {
      {2008, 1, 1, true},           {kThisYear, 12, 31, true}, {2007, 6, 15, false},
      {kThisYear + 1, 1, 1, false}, {2020, 0, 15, false},      {2020, 13, 15, false},
      {2020, 6, 0, false},          {2020, 6, 32, false},
  };
  for (int version : {16, 17}) {
    for (const auto& c : cases) {
      EEPROM eeprom = makeImage(version);
      putDate(eeprom.image(), c.year, c.month, c.day);
      EXPECT_TRUE(eeprom.isValid());
      EXPECT_EQ(eeprom.isCalibrated(), c.calibrated)
          << version << ": " << c.year << "." << c.month << "." << c.day;
    }
  }
  EEPROM invalid = makeImage(16);
  invalid.image()[1] = 18;
  EXPECT_FALSE(invalid.isCalibrated());
}

TEST(Eeprom, DescribeShowsTheFieldsOfTheImagesVersion) {
  EEPROM v17 = makeImage(17, 4711, "defaults");
  EEPROM unknown = makeImage(16);
  unknown.image()[0] = 18;
  CaptureStdout();
  v17.describe();
  unknown.describe();
  EXPECT_EQ(GetCapturedStdout(),
            "defaults version 17, serial number 4711, calibrated on 2020.06.15\n"
            "eeprom version 18, serial number 0, calibrated on 0000.00.00\n");
}

TEST(Eeprom, ConvertingTo17MovesTheSettingsAndWidensTheTable) {
  EEPROM eeprom = makeImage(16);
  const EEPROM::Image old = eeprom.image();
  CaptureStdout();
  EXPECT_TRUE(eeprom.conformToVersion(17));
  EXPECT_EQ(GetCapturedStdout(), "converting eeprom from version 16 to version 17\n");
  const auto& image = eeprom.image();
  EXPECT_EQ(image[0], 17);
  EXPECT_TRUE(std::equal(old.begin() + 1, old.begin() + 204, image.begin() + 1));
  EXPECT_TRUE(std::equal(old.begin() + 268, old.begin() + 352, image.begin() + 204));
  for (size_t k = 0; k < 15; ++k) {
    EXPECT_TRUE(std::equal(old.begin() + 512 + 14 * k, old.begin() + 526 + 14 * k,
                           image.begin() + 512 + 18 * k));
    for (size_t i = 526 + 18 * k; i < 530 + 18 * k; ++i) EXPECT_EQ(image[i], 0xFF);
  }
  EXPECT_TRUE(std::all_of(image.begin() + 288, image.begin() + 512, [](uint8_t b) { return !b; }));
  EXPECT_TRUE(std::all_of(image.begin() + 782, image.begin() + 1008, [](uint8_t b) { return !b; }));
  EXPECT_EQ(image[1008], 0x5B);
  EXPECT_EQ(image[1009], 0x4A);
  EXPECT_TRUE(eeprom.isCalibrated());  // the date moved with its block
}

TEST(Eeprom, RoundTripThrough17KeepsEverythingButTheDroppedBlockAndSpares) {
  EEPROM eeprom = makeImage(16);
  EEPROM::Image expected = eeprom.image();
  std::fill(expected.begin() + 204, expected.begin() + 268, 0);
  std::fill(expected.begin() + 352, expected.begin() + 512, 0);
  std::fill(expected.begin() + 722, expected.end(), 0);
  expected[1008] = 0x5B;
  expected[1009] = 0x4A;
  CaptureStdout();
  EXPECT_TRUE(eeprom.conformToVersion(17));
  EXPECT_TRUE(eeprom.conformToVersion(16));
  EXPECT_EQ(GetCapturedStdout(),
            "converting eeprom from version 16 to version 17\n"
            "converting eeprom from version 17 to version 16\n");
  EXPECT_TRUE(eeprom.image() == expected);
}

TEST(Eeprom, ConformingWithoutConversionOnlyTidiesAndSetsTheCookie) {
  EEPROM v16 = makeImage(16);
  EXPECT_FALSE(v16.conformToVersion(16));
  EXPECT_EQ(v16.image()[400], 0);
  EXPECT_EQ(v16.image()[1008], 0x5B);

  EEPROM unknown = makeImage(16);
  unknown.image()[0] = 18;
  const EEPROM::Image before = unknown.image();
  EXPECT_FALSE(unknown.conformToVersion(17));
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 1008, unknown.image().begin()));
  EXPECT_EQ(unknown.image()[1009], 0x4A);
}

TEST(Eeprom, BackupIsWrittenOnceAndLoadsBack) {
  TempDir dir;
  const std::string stem = dir.file("eeprom");
  EEPROM eeprom = makeImage(17);
  CaptureStdout();
  eeprom.saveToFile(stem);
  EXPECT_EQ(GetCapturedStdout(), "saving eeprom to \"" + stem + ".12345.hex\"\n");

  HexReader reader;
  ASSERT_TRUE(reader.load(stem + ".12345.hex"));
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0xF00000u);

  // A changed image is not saved over the first backup.
  const std::string first = readFile(stem + ".12345.hex");
  eeprom.image()[100] ^= 0xFF;
  CaptureStdout();
  eeprom.saveToFile(stem);
  EXPECT_EQ(GetCapturedStdout(), "file \"" + stem + ".12345.hex\" already exists\n");
  EXPECT_EQ(readFile(stem + ".12345.hex"), first);

  EEPROM loaded(12345, "eeprom", fixedYear);
  CaptureStdout();
  EXPECT_TRUE(loaded.loadFromFile(stem));
  EXPECT_EQ(GetCapturedStdout(), "loading eeprom from file \"" + stem +
                                     ".12345.hex\"\n"
                                     "eeprom version 17, serial number 12345, calibrated on "
                                     "2020.06.15\n");
  eeprom.image()[100] ^= 0xFF;
  EXPECT_TRUE(
      std::equal(eeprom.image().begin(), eeprom.image().begin() + 1008, loaded.image().begin()));
  EXPECT_EQ(loaded.image()[1008], 0x5B);  // the loader sets the cookie
}

TEST(Eeprom, InvalidImagesAreNotSaved) {
  TempDir dir;
  EEPROM eeprom = makeImage(16, 5555555);
  CaptureStdout();
  eeprom.saveToFile(dir.file("eeprom"));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_FALSE(std::filesystem::exists(dir.file("eeprom.5555555.hex")));
}

TEST(Eeprom, ShortBackupLoadsAndKeepsTheRestOfTheImage) {
  TempDir dir;
  {
    HexWriter writer(dir.file("defaults.7.hex"));
    const std::vector<uint8_t> head(100, 0xAB);
    writer.writeBlock(0x1F000, head.data(), head.size());  // the address is not checked
    writer.writeEndOfFileRecord();
  }
  EEPROM eeprom(7, "defaults", fixedYear);
  eeprom.image()[500] = 0x42;
  CaptureStdout();
  EXPECT_TRUE(eeprom.loadFromFile(dir.file("defaults")));
  GetCapturedStdout();
  EXPECT_EQ(eeprom.image()[99], 0xAB);
  EXPECT_EQ(eeprom.image()[100], 0);
  EXPECT_EQ(eeprom.image()[500], 0x42);
  EXPECT_EQ(eeprom.image()[1008], 0x5B);
}

TEST(Eeprom, FilesWithSeveralRangesOrErrorsAreNotLoaded) {
  TempDir dir;
  const std::vector<uint8_t> data(1010, 1);
  {
    HexWriter writer(dir.file("eeprom.1.hex"));
    writer.writeBlock(0, data.data(), 16);
    writer.writeBlock(0xF00000, data.data(), data.size());
    writer.writeEndOfFileRecord();
  }
  {
    HexWriter writer(dir.file("eeprom.2.hex"));
    writer.writeBlock(0xF00000, data.data(), data.size());  // no end-of-file record
  }
  for (int serial : {1, 2, 3}) {
    EEPROM eeprom(serial, "eeprom", fixedYear);
    CaptureStdout();
    EXPECT_FALSE(eeprom.loadFromFile(dir.file("eeprom")));
    const std::string output = GetCapturedStdout();
    EXPECT_EQ(output.find("eeprom version"), std::string::npos) << output;
    EXPECT_EQ(eeprom.image()[0], 0);
  }
}
