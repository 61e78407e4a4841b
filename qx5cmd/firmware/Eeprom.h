#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>

// One copy of a gauge's 1010-byte settings and calibration image (the live copy in data EEPROM
// or the factory-default copy in program flash), with the serial number of the gauge it is
// meant for and a label that names it in messages and serves as its backup file stem.
class EEPROM {
 public:
  static constexpr size_t kSize = 1010;
  using Image = std::array<uint8_t, kSize>;
  // The current calendar year (UTC); replaceable so that tests can fix the date.
  using YearSource = std::function<int()>;

  struct CalibrationDate {
    int year = 0;
    int month = 0;
    int day = 0;
  };

  EEPROM(int32_t expectedSerial, std::string label, YearSource currentYear = utcYearNow);
  virtual ~EEPROM() = default;

  // Version 16 or 17, and both the expected serial and the image's serial a real gauge's
  // and equal.
  bool isValid() const;
  // Valid, with a plausible calibration date no later than the current year.
  bool isCalibrated() const;
  // One line: label, version, serial number and calibration date.
  void describe() const;

  // Loads "<stem>.<serial>.hex"; false for a missing file, one with errors or one with more
  // than one range, so that the caller reads the image from the gauge instead.
  bool loadFromFile(const std::string& stem);
  // Backs a valid image up to "<stem>.<serial>.hex"; an existing file is never overwritten.
  void saveToFile(const std::string& stem) const;
  // The image as a file holds it, without messages or changes; false as for loadFromFile.
  bool readFile(const std::string& path);
  // Creates `path` (never over an existing file) holding the image; a file that could not be
  // written whole is removed. False then, or when the file existed.
  bool writeNewFile(const std::string& path) const;
  // Brings the layout to the target version (16 or 17) and sets the magic cookie; true if the
  // layout was converted.
  bool conformToVersion(int targetVersion);

  // The raw bytes, moved to and from the gauge by the memory transfer tools.
  Image& image() { return image_; }
  const Image& image() const { return image_; }
  int32_t expectedSerial() const { return expectedSerial_; }
  const std::string& label() const { return label_; }

  int version() const { return image_[0]; }
  // The serial number stored in the image (whatever its version).
  int32_t imageSerial() const;
  // The date at the place the image's version keeps it; all zero for other versions.
  CalibrationDate calibrationDate() const;
  std::string fileName(const std::string& stem) const;

  static int utcYearNow();
  // 0, 5555555 (a gauge in its bootloader) and -1 never identify a real gauge.
  static bool isRealSerial(int32_t serial);

 private:
  void setMagicCookie();
  void convert16To17();
  void convert17To16();

  int32_t expectedSerial_;
  std::string label_;
  YearSource currentYear_;
  Image image_{};
};
