// The tests that back up, convert and restore a gauge's settings images.
#pragma once

#include <memory>
#include <string>

#include "qx5cmd/firmware/BootloaderChecks.h"

namespace qx5cmd {

// Backs both images up to files; fails, naming the address, when a read failed part way.
class aUploadEEPROM : public aBootloaderTest {
 public:
  aUploadEEPROM(const char* name, const char* description)
      : aBootloaderTest(name, description, {"file_name"}) {}
  // Takes one word, whatever it says; it is not used.
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aUploadEEPROM>(name, description);
  }
};

class aDownloadEEPROM : public aBootloaderTest {
 public:
  aDownloadEEPROM(const char* name, const char* description)
      : aBootloaderTest(name, description, {"eeprom_version"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aDownloadEEPROM>(name, description);
  }

 private:
  int eepromVersion_ = 0;
};

class aSaveSettings : public aBootloaderTest {
 public:
  using aBootloaderTest::aBootloaderTest;
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aSaveSettings>(name, description);
  }
};

// Rewrites the EEPROM's magic cookie, in whatever mode the gauge runs.
class aFixCorruptedEEPROM : public aBootloaderTest {
 public:
  using aBootloaderTest::aBootloaderTest;
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aFixCorruptedEEPROM>(name, description);
  }
};

}  // namespace qx5cmd
