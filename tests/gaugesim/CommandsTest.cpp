// Command families answered in the layouts the library's decoders read.
#include <cmath>

#include "SimHarness.h"
#include "gaugesim/model/EepromImage.h"
#include "gaugesim/model/GaugeModel.h"
#include "support/ManualClock.h"

namespace qx5::sim::testing {
namespace {

class Commands : public ::testing::Test {
 protected:
  qx5::test::ManualClock clock;
  CountedGauges gauges{1, &clock};
  OpenGauge gauge = gauges.open();
};

TEST_F(Commands, PressuresComeAsFloatsWithTheGaugeKindInTheStatusByte) {
  for (std::uint8_t port : {0, 1, 3}) {
    const Bytes reply = gauge.ok(command(0, {{16, port}}));
    EXPECT_TRUE(std::isfinite(floatAt(reply, 8)));
    EXPECT_LT(std::fabs(floatAt(reply, 8)), 1.0f) << "fan is off";
    EXPECT_EQ(reply[6], 1);
  }
  const Bytes both = gauge.ok(command(55));
  EXPECT_TRUE(std::isfinite(floatAt(both, 8)) && std::isfinite(floatAt(both, 12)));
}

TEST_F(Commands, CacheSwitchIsReportedAndCachedPairRead) {
  EXPECT_EQ(gauge.ok(command(56))[8], 0);
  gauge.ok(command(53, {{8, 1}}));
  EXPECT_EQ(gauge.ok(command(56))[8], 1);
  const Bytes cached = gauge.ok(command(54));
  EXPECT_TRUE(std::isfinite(floatAt(cached, 8)) && std::isfinite(floatAt(cached, 12)));
  gauge.ok(command(53, {{8, 0}}));
  EXPECT_EQ(gauge.ok(command(56))[8], 0);
}

TEST_F(Commands, FlowTemperatureBatteryAndTicks) {
  EXPECT_GE(floatAt(gauge.ok(command(35)), 8), 0.0f);
  const int temperature = int16At(gauge.ok(command(36)), 8);
  EXPECT_GE(temperature, 15);
  EXPECT_LE(temperature, 30);
  EXPECT_GT(int16At(gauge.ok(command(44)), 8), 0);
  const auto first = static_cast<std::uint32_t>(int32At(gauge.ok(command(70)), 8));
  clock.sleepFor(std::chrono::milliseconds(20));
  EXPECT_GE(static_cast<std::uint32_t>(int32At(gauge.ok(command(70)), 8)), first + 15);
}

TEST_F(Commands, DeviceAndRangeSelectionReportCountsAndNames) {
  const auto& table = devices();
  Bytes reply = gauge.ok(command(19, {{8, 1}}));
  EXPECT_EQ(reply[8], table[1].ranges.size());
  EXPECT_EQ(reply[9], table.size());
  EXPECT_EQ(textOf(gauge.ok(command(33))), table[1].name);
  reply = gauge.ok(command(24, {{8, 2}}));
  EXPECT_EQ(reply[8], table[1].ranges.size());
  EXPECT_EQ(textOf(gauge.ok(command(48))), table[1].ranges[2]);
  const std::string list = textOf(gauge.ok(command(34)));
  EXPECT_LE(list.size(), 52u);
  EXPECT_NE(list.find(std::string(table[1].ranges[1])), std::string::npos);
  // Out of range: the selection stays and the counts still come back.
  reply = gauge.exchange(command(19, {{8, 99}}));
  EXPECT_EQ(reply[6], 0xFF);
  EXPECT_EQ(reply[9], table.size());
  EXPECT_EQ(textOf(gauge.ok(command(33))), table[1].name);
}

TEST_F(Commands, KeypadStepsDevicesAndRangesRoundToTheFirst) {
  const std::string first = textOf(gauge.ok(command(33)));
  std::size_t devicesSeen = 0;
  do {
    const std::string firstRange = textOf(gauge.ok(command(48)));
    std::size_t ranges = 0;
    do {
      gauge.ok(command(38, {{8, 2}}));
      ++ranges;
    } while (textOf(gauge.ok(command(48))) != firstRange && ranges < 20);
    EXPECT_EQ(ranges, devices()[devicesSeen].ranges.size());
    gauge.ok(command(38, {{8, 0}}));
    ++devicesSeen;
  } while (textOf(gauge.ok(command(33))) != first && devicesSeen < 20);
  EXPECT_EQ(devicesSeen, devices().size());
  EXPECT_EQ(gauge.exchange(command(38, {{8, 15}})).at(6), 0xFF);
}

TEST_F(Commands, ModesAveragingAndFlagsReadBack) {
  gauge.ok(command(32, {{8, 2}}));
  EXPECT_EQ(gauge.ok(command(31))[8], 2);
  const std::uint8_t before = gauge.ok(command(15))[8];
  EXPECT_EQ(gauge.ok(command(15))[8], (before + 1) % kTimeAverageModes);
  EXPECT_NE(gauge.ok(command(66, {{8, 0}}))[8], 0);
  EXPECT_EQ(gauge.ok(command(15))[8], 1);  // from off to the first mode
  gauge.ok(command(22, {{8, 255}}));
  EXPECT_EQ(gauge.ok(command(21))[8], 255);
  for (auto [set, get] : {std::pair{60, 61}, std::pair{68, 67}}) {
    gauge.ok(command(set, {{8, 1}}));
    EXPECT_EQ(gauge.ok(command(get))[8], 1);
    gauge.ok(command(set, {{8, 0}}));
    EXPECT_EQ(gauge.ok(command(get))[8], 0);
  }
  for (std::uint8_t code : {6, 23, 37, 40, 59}) gauge.ok(command(code, {{8, 1}}));
}

TEST_F(Commands, AtPressureAndPidTablesKeepValuesAndRejectBadIndices) {
  gauge.ok(command(42, {{8, 3}, {9, 0x06}, {10, 0xFF}}));  // -250
  EXPECT_EQ(int16At(gauge.ok(command(43, {{8, 3}})), 8), -250);
  Bytes pid = command(26, {{8, 2}});
  putFloat(pid, 9, 1.25f);
  gauge.ok(pid);
  EXPECT_EQ(floatAt(gauge.ok(command(27, {{8, 2}})), 8), 1.25f);
  EXPECT_EQ(gauge.exchange(command(27, {{8, 8}})).at(6), 0xFF);
  EXPECT_EQ(gauge.exchange(command(43, {{8, 200}})).at(6), 0xFF);
}

// A NaN constant would turn every later pressure into NaN, whether it comes over the wire or
// from a stored image (a .state file, an EEPROM written back).
TEST_F(Commands, NonFinitePidConstantsAreRefusedAndIgnoredInImages) {
  for (float bad : {std::nanf(""), INFINITY, -INFINITY}) {
    Bytes pid = command(26, {{8, 1}});
    putFloat(pid, 9, bad);
    EXPECT_EQ(gauge.exchange(pid).at(6), 0xFF);
  }
  EXPECT_EQ(floatAt(gauge.ok(command(27, {{8, 1}})), 8), Settings{}.pid[1]);
  EXPECT_TRUE(std::isfinite(floatAt(gauge.ok(command(0)), 8)));

  Settings stored;
  stored.pid[0] = 2.5f;
  stored.pid[1] = std::nanf("");
  stored.pid[2] = INFINITY;
  Settings loaded;
  loaded.pid[1] = 0.75f;
  ASSERT_TRUE(decodeImage(encodeImage(stored, 17).data(), loaded));
  EXPECT_EQ(loaded.pid[0], 2.5f);
  EXPECT_EQ(loaded.pid[1], 0.75f);
  EXPECT_EQ(loaded.pid[2], Settings{}.pid[2]);
}

TEST_F(Commands, FanSpeedIsReportedRawAndInPercent) {
  gauge.ok(command(18, {{8, 50}}));
  EXPECT_EQ(int16At(gauge.ok(command(47)), 8), 512);  // 50 % of 1023
  EXPECT_FLOAT_EQ(floatAt(gauge.ok(command(69)), 8), 50.0f);
  EXPECT_GT(floatAt(gauge.ok(command(41)), 8), 0.0f);
  gauge.ok(command(40));  // abort stops the fan
  EXPECT_EQ(int16At(gauge.ok(command(47)), 8), 0);
  gauge.ok(command(16, {{8, 10}}));
  gauge.ok(command(17, {{8, 5}}));
}

TEST_F(Commands, IdentityAndModelQueries) {
  EXPECT_EQ(textOf(gauge.ok(command(45))), "3.05");
  EXPECT_EQ(gauge.ok(command(62))[8], 62);
  EXPECT_EQ(gauge.ok(command(63))[8], 0);
  EXPECT_EQ(int32At(gauge.ok(command(77)), 8), 2);
  gauge.ok(command(29, {{8, 0x39}, {9, 0x30}}));  // 12345
  EXPECT_EQ(int32At(gauge.ok(command(30)), 8), 12345);
}

TEST_F(Commands, CalibrationDateCompanyAndPowerDownHour) {
  gauge.ok(command(50, {{8, 5}, {9, 7}, {10, 0xDA}, {11, 0x07}}));  // 2010-07-05
  const Bytes date = gauge.ok(command(49));
  EXPECT_EQ(date[8], 5);
  EXPECT_EQ(date[9], 7);
  EXPECT_EQ(int16At(date, 10), 2010);
  EXPECT_EQ(gauge.exchange(command(50, {{8, 0}, {9, 13}})).at(6), 0xFF);

  Bytes company = command(57, {{8, 5}});
  std::memcpy(company.data() + 9, "Acme!", 5);
  gauge.ok(company);
  const Bytes name = gauge.ok(command(58));
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(name.data() + 8)), "Acme!");
  EXPECT_EQ(gauge.exchange(command(57, {{8, 29}})).at(6), 0xFF);
  Bytes tooLong = command(57, {{8, 28}});
  tooLong.resize(20);
  tooLong[1] = 20;
  EXPECT_EQ(gauge.exchange(tooLong).at(6), 0xFF);  // count past the packet's end

  gauge.ok(command(65, {{8, 7}}));
  EXPECT_EQ(gauge.ok(command(64))[8], 7);
}

TEST_F(Commands, SoftwareAndHardwareSlopes) {
  Bytes write = command(3, {{16, 1}, {17, 4}});
  putFloat(write, 12, 3.0f);
  gauge.ok(write);
  const Bytes read = gauge.ok(command(2, {{16, 1}, {17, 4}}));
  EXPECT_EQ(floatAt(read, 12), 3.0f);
  EXPECT_EQ(gauge.exchange(command(2, {{16, 2}, {17, 0}})).at(6), 0xFF);
  gauge.ok(command(8, {{10, 99}}));
  EXPECT_EQ(gauge.ok(command(7))[10], 99);
}

TEST_F(Commands, SettingsSurviveARestartOnlyWhenSaved) {
  gauge.ok(command(65, {{8, 9}}));
  gauge.ok(command(28));
  gauge.ok(command(65, {{8, 4}}));
  gauge.ok(bootRequest(1));  // restart the application: settings come from EEPROM
  EXPECT_EQ(gauge.ok(command(64))[8], 9);
  gauge.ok(command(46));  // factory defaults
  EXPECT_EQ(gauge.ok(command(64))[8], Settings().powerDownHour);
}

}  // namespace
}  // namespace qx5::sim::testing
