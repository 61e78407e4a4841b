// Flash, configuration words and EEPROM through the memory commands; the bootloader round trip.
#include <algorithm>

#include "SimHarness.h"
#include "gaugesim/model/EepromImage.h"

namespace qx5::sim::testing {
namespace {

class MemoryAccess : public ::testing::Test {
 protected:
  Bytes readMemory(std::uint32_t address, std::size_t count) {
    Bytes all;
    while (count) {
      const std::size_t chunk = std::min<std::size_t>(count, 48);
      const Bytes reply = gauge.ok(readRequest(address, chunk));
      all.insert(all.end(), reply.begin() + 8, reply.begin() + 8 + chunk);
      address += static_cast<std::uint32_t>(chunk);
      count -= chunk;
    }
    return all;
  }
  bool writeMemory(std::uint32_t address, const Bytes& data) {
    for (std::size_t done = 0; done < data.size(); done += 48) {
      const Bytes chunk(data.begin() + done, data.begin() + std::min(data.size(), done + 48));
      if (gauge.ok(memoryRequest(73, address + done, chunk, chunk.size()))[8] == 0) return false;
    }
    return true;
  }
  bool erase(std::uint32_t address, std::uint16_t length) {
    return gauge.ok(eraseRequest(address, length))[8] != 0;
  }
  std::string version() { return textOf(gauge.ok(command(45))); }
  std::int32_t serial() { return int32At(gauge.ok(command(30)), 8); }

  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
};

TEST_F(MemoryAccess, EepromHoldsAValidImageWithSerialDateAndCookie) {
  const Bytes image = readMemory(0xF00000, 1010);
  EXPECT_EQ(image[0], 17);
  EXPECT_LE(image[1], 17);
  EXPECT_EQ(int32At(image, 31), 10001);
  EXPECT_EQ(image[1008], 0x5B);
  EXPECT_EQ(image[1009], 0x4A);
  EXPECT_EQ(image[238], 15);  // day
  EXPECT_EQ(image[239], 3);   // month
  EXPECT_EQ(int16At(image, 240), 2012);
  EXPECT_EQ(readMemory(0x1F000, 1010), image) << "factory defaults start as a copy";
  EXPECT_EQ(readMemory(0x300000, 8).size(), 8u);
}

TEST_F(MemoryAccess, SerialNumberSetBySettingsReachesTheImageOnSave) {
  gauge.ok(command(29, {{8, 0x40}, {9, 0xE2}, {10, 0x01}}));  // 123456
  EXPECT_EQ(int32At(readMemory(0xF00000 + 31, 4), 0), 10001);
  gauge.ok(command(28));
  EXPECT_EQ(int32At(readMemory(0xF00000 + 31, 4), 0), 123456);
}

TEST_F(MemoryAccess, ApplicationRefusesFlashButWritesEeprom) {
  EXPECT_FALSE(erase(0x1E000, 512));
  EXPECT_FALSE(writeMemory(0x1E000, Bytes(48, 0)));
  EXPECT_TRUE(writeMemory(0xF003F0, {0x5B, 0x4A}));
  EXPECT_FALSE(writeMemory(0x300000, {0x00}));
}

TEST_F(MemoryAccess, BootloaderRoundTripFlashesANewApplicationVersion) {
  gauge.ok(bootRequest(0));
  EXPECT_NE(version().find("BOOT"), std::string::npos);
  EXPECT_EQ(serial(), 5555555);
  EXPECT_EQ(gauge.exchange(command(0)).at(6), 0xFF) << "no measuring in the bootloader";

  const Bytes before = readMemory(0x1DFE0, 576);
  ASSERT_TRUE(erase(0x1E000, 512));
  Bytes erased = readMemory(0x1DFE0, 576);
  EXPECT_TRUE(std::equal(before.begin(), before.begin() + 32, erased.begin()));
  EXPECT_TRUE(
      std::all_of(erased.begin() + 32, erased.begin() + 544, [](auto b) { return b == 0xFF; }));
  EXPECT_TRUE(std::equal(before.end() - 32, before.end(), erased.end() - 32));

  Bytes pattern(512);
  for (std::size_t i = 0; i < pattern.size(); ++i) pattern[i] = static_cast<std::uint8_t>(i / 2);
  ASSERT_TRUE(writeMemory(0x1E000, pattern));
  EXPECT_EQ(readMemory(0x1E000, 512), pattern);
  // Writing can only clear bits.
  ASSERT_TRUE(writeMemory(0x1E000, {0xFF, 0xF0}));
  EXPECT_EQ(readMemory(0x1E000, 2), (Bytes{0x00, 0x00}));

  const std::string record = "VER:4.20 sim";
  ASSERT_TRUE(erase(0x1EFC0, 64));
  ASSERT_TRUE(writeMemory(0x1EFC0, Bytes(record.begin(), record.end())));
  gauge.ok(bootRequest(1));
  EXPECT_EQ(version(), "4.20 sim");
  EXPECT_EQ(serial(), 10001);
}

TEST_F(MemoryAccess, ApplicationWithoutVersionRecordKeepsConfiguredVersion) {
  gauge.ok(bootRequest(0));
  gauge.ok(bootRequest(1));
  EXPECT_EQ(version(), "3.05");
  EXPECT_EQ(gauge.exchange(bootRequest(7)).at(6), 0xFF);
}

TEST_F(MemoryAccess, CountsThatDoNotFitThePacketGetErrorReplies) {
  EXPECT_EQ(gauge.exchange(readRequest(0, 57)).at(6), 0xFF);
  EXPECT_EQ(gauge.exchange(memoryRequest(73, 0xF00000, Bytes(52, 0), 52)).size(), 0u)
      << "65-byte packet cannot be written";
  Bytes lying = memoryRequest(73, 0xF00000, Bytes(4, 0), 40);  // says 40, carries 4
  EXPECT_EQ(gauge.exchange(lying).at(6), 0xFF);
  EXPECT_EQ(gauge.exchange(runTestRequest(1, {1, 2})).at(6), 0xFF) << "input too short";
  EXPECT_EQ(gauge.exchange(runTestRequest(99, {})).at(6), 0xFF) << "no such test";
}

TEST_F(MemoryAccess, BlankDefaultsStayErasedAndCannotBeRestored) {
  GaugeConfig config;
  config.defaultsValid = false;
  config.eepromVersion = 16;
  Gauge blank(config);
  std::uint8_t defaults[16];
  blank.memory.read(0x1F000, defaults, sizeof defaults);
  EXPECT_TRUE(
      std::all_of(std::begin(defaults), std::end(defaults), [](auto b) { return b == 0xFF; }));
  EXPECT_EQ(blank.memory.eeprom()[0], 16);
  EXPECT_EQ(blank.memory.eeprom()[calibrationOffset(16)], 15);
  Bytes reply(64);
  const Bytes restore = command(46);
  ASSERT_EQ(blank.handle(restore.data(), restore.size(), reply.data(), reply.size()), 64u);
  EXPECT_EQ(reply[6], 0xFF);
}

TEST(MemoryRules, EraseCoversWholeBlocksAndStopsAtRegionEdges) {
  Memory memory;
  std::fill(memory.flash().begin(), memory.flash().end(), 0);
  EXPECT_TRUE(memory.erase(0x1010, 8, Memory::Mode::Bootloader));  // block 0x1000..0x103F
  EXPECT_EQ(memory.flash()[0x0FFF], 0);
  EXPECT_EQ(memory.flash()[0x1000], 0xFF);
  EXPECT_EQ(memory.flash()[0x103F], 0xFF);
  EXPECT_EQ(memory.flash()[0x1040], 0);
  EXPECT_FALSE(memory.erase(Memory::kFlashSize - 8, 64, Memory::Mode::Bootloader));
  EXPECT_FALSE(memory.erase(Memory::kConfigAddress, 8, Memory::Mode::Bootloader));
  std::uint8_t byte = 1;
  EXPECT_FALSE(memory.write(0x400000, &byte, 1, Memory::Mode::Bootloader));
  memory.read(0x400000, &byte, 1);
  EXPECT_EQ(byte, 0) << "unimplemented memory reads as zero";
}

}  // namespace
}  // namespace qx5::sim::testing
