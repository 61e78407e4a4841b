// The tests that move raw memory through the bootloader: uploads of program memory and
// configuration words to HEX files, the bootloader's erase and write check on a scratch area,
// the firmware download and the jump to the application.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "qx5cmd/core/TestRegistry.h"
#include "qx5cmd/firmware/MemoryGauge.h"
#include "qx5cmd/firmware/MemoryTransfer.h"
#include "qx5cmd/firmware/ProgressMeter.h"

namespace qx5cmd {

// Reads memory regions into a HEX file. A failed read shortens the file and fails the test.
class aUpload : public ClonableTest<aUpload> {
 public:
  struct Region {
    std::uint32_t address;
    std::uint32_t length;
  };
  aUpload(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;

 protected:
  virtual const char* fileName() const { return "test.hex"; }
  virtual std::vector<Region> regions() const { return {{memory_map::kProgramFlash, 1024}}; }
};

class aUploadAll : public ClonableTest<aUploadAll, aUpload> {
 public:
  using ClonableTest::ClonableTest;

 protected:
  const char* fileName() const override { return "uploadall.hex"; }
  std::vector<Region> regions() const override;
};

class aUploadCfg : public ClonableTest<aUploadCfg, aUpload> {
 public:
  using ClonableTest::ClonableTest;

 protected:
  const char* fileName() const override { return "cfg.hex"; }
  std::vector<Region> regions() const override;
};

// Base of every test that moves memory with a progress display; itself the test that erases
// and writes a pattern in the scratch area and shows what changed.
class aBootloaderTest : public aTest {
 public:
  aBootloaderTest(const char* name, const char* description,
                  std::vector<std::string> argumentNames = {})
      : aTest(name, description, std::move(argumentNames)) {}
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aBootloaderTest>(name, description);
  }

 protected:
  LibraryMemoryGauge gauge_;
  ProgressMeter meter_;
  MemoryTransfer transfer_{gauge_, meter_};
};

class aDownload : public aBootloaderTest {
 public:
  aDownload(const char* name, const char* description,
            std::vector<std::string> argumentNames = {"file_name", "eeprom_version"})
      : aBootloaderTest(name, description, std::move(argumentNames)) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aDownload>(name, description);
  }

 protected:
  std::string fileStem_;
  int eepromVersion_ = 0;
};

class aBoot : public ClonableTest<aBoot> {
 public:
  aBoot(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

}  // namespace qx5cmd
