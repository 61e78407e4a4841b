#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "api/WireCases.h"
#include "support/LogCapture.h"

namespace qx5::test {
namespace {

auto settings(std::function<void(sim::Settings&)> change) {
  return [change](SimulatedLibrary& sim) { change(sim.gauge()->settings); };
}
auto reply(std::function<void(Bytes&)> edit) {
  return [edit](SimulatedLibrary& sim) { sim.editReply = edit; };
}
std::string counts() {
  const std::string ranges = show(GetNumberOfRanges());
  return ranges + " " + show(GetNumberOfDevices());
}
// The result of `first`, then of `second`, called in that order.
template <class First, class Second>
std::string inTurn(First first, Second second) {
  std::string text = first();
  return text + " " + second();
}

TEST(ModeExports, BytesOnTheWireAndDecodedResults) {
  runWireCases({
      {"mode modulo 3", [] { return show(SetMode(4)); }, {command(32, {{8, 1}})}, "true"},
      {"at mode is mode", [] { return show(SetAtMode(3)); }, {command(32)}, "true"},
      {"mode read back",
       [] { return show(GetAtMode()); },
       {command(31)},
       "2",
       settings([](auto& s) { s.mode = 2; })},
      {"range counts",
       [] { return inTurn([] { return show(SetRange(2)); }, counts); },
       {command(24, {{8, 2}})},
       "true 4 4"},
      {"device counts",
       [] { return inTurn([] { return show(SetDevice(1)); }, counts); },
       {command(19, {{8, 1}})},
       "true 3 4"},
      {"counts from bytes 8 and 9",
       [] { return inTurn([] { return show(SetRange(0)); }, counts); },
       {command(24)},
       "true 3 7",
       reply([](Bytes& r) { r[8] = 3, r[9] = 7; })},
      {"counts before any selection", [] { return counts(); }, {}, "0 0"},
      {"device name", [] { return show(GetDeviceName()); }, {command(33)}, "\"Fan Model 3\""},
      {"range name",
       [] { return show(GetDeviceRange()); },
       {command(48)},
       "\"Ring A\"",
       settings([](auto& s) { s.range = 1; })},
      {"range list",
       [] { return show(GetDeviceRanges()); },
       {command(34)},
       "\"Open,Ring A,Ring B,Ring C\""},
      {"averaging steps", [] { return show(ChangeTimeAverage()); }, {command(15)}, "true"},
      {"averaging name",
       [] { return show(TimeAverageMode()); },
       {command(15)},
       "\"10s\"",
       settings([](auto& s) { s.timeAverage = 4; })},
      {"averaging name keeps its blank",
       [] { return show(TimeAverageMode()); },
       {command(15)},
       "\"1s \"",
       settings([](auto& s) { s.timeAverage = 0; })},
      {"unknown averaging",
       [] { return show(TimeAverageMode()); },
       {command(15)},
       "\"new\"",
       reply([](Bytes& r) { r[8] = 12; })},
      {"averaging off", [] { return show(SetTimeAvgOff()); }, {command(66)}, "true"},
      {"averaging off not done",
       [] { return show(SetTimeAvgOff()); },
       {command(66)},
       "false",
       reply([](Bytes& r) { r[8] = 0; })},
      {"auto zero on",
       [] {
         return inTurn([] { return show(SetAutoZeroOn(5)); }, [] { return show(GetAutoZero()); });
       },
       {command(6, {{8, 1}})},
       "true true"},
      {"auto zero stays on",
       [] {
         return inTurn([] { return show(SetAutoZeroOff(0)); }, [] { return show(GetAutoZero()); });
       },
       {command(6, {{8, 1}})},
       "true true"},
      {"auto zero off",
       [] {
         return inTurn([] { return show(SetAutoZeroOff(1)); }, [] { return show(GetAutoZero()); });
       },
       {command(6)},
       "true false"},
      {"constant N", [] { return show(SetConstN(200)); }, {command(22, {{8, 200}})}, "true"},
      {"constant N in hundredths",
       [] { return show(GetConstN()); },
       {command(21)},
       "2.55",
       settings([](auto& s) { s.constN = 255; })},
      {"reverse", [] { return show(SetReverseMode(9)); }, {command(60, {{8, 1}})}, "true"},
      {"reverse read back",
       [] { return show(GetReverseModeStatus()); },
       {command(61)},
       "true",
       settings([](auto& s) { s.reverse = true; })},
      {"relative", [] { return show(SetRelPresStatus(0)); }, {command(68)}, "true"},
      {"relative read back", [] { return show(GetRelPresStatus()); }, {command(67)}, "false"},
      {"button modulo 15", [] { return show(PushButton(20)); }, {command(38, {{8, 5}})}, "true"},
      {"button 15 is 0", [] { return show(PushButton(15)); }, {command(38)}, "true"},
      {"set-up", [] { return show(EnterSetUp()); }, {command(37)}, "true"},
      {"abort", [] { return show(Abort()); }, {command(40)}, "true"},
      {"power off", [] { return show(QX5_Off()); }, {command(39)}, "true"},
      {"backlight on", [] { return show(BackLightOn(3)); }, {command(23, {{8, 1}})}, "true"},
      {"backlight off(0) is on",
       [] { return show(BackLightOff(0)); },
       {command(23, {{8, 1}})},
       "true"},
      {"backlight off(1)", [] { return show(BackLightOff(1)); }, {command(23)}, "true"},
  });
}

TEST(FanExports, BytesOnTheWireAndDecodedResults) {
  const auto sendsSpeed = [](float value) {
    return [value] {
      float speed = value;
      return show(SetFanSpeed(&speed));
    };
  };
  runWireCases({
      {"truncated", sendsSpeed(12.9f), {command(18, {{8, 12}})}, "true"},
      {"truncated toward zero", sendsSpeed(-12.9f), {command(18, {{8, 0xF4}, {9, 0xFF}})}, "true"},
      {"low 16 bits of 70000", sendsSpeed(70000.0f), {command(18, {{8, 0x70}, {9, 0x11}})}, "true"},
      {"beyond 32 bits", sendsSpeed(1e10f), {command(18)}, "true"},
      {"not a number", sendsSpeed(std::numeric_limits<float>::quiet_NaN()), {command(18)}, "true"},
      {"speed in percent of 1023",
       [] { return show(GetFanSpeed()); },
       {command(47)},
       "50.0489",
       reply([](Bytes& r) { r[8] = 0x00, r[9] = 0x02; })},
      {"full speed", [] { return show(GetFanSpeed()); }, {command(47)}, "100", reply([](Bytes& r) {
         r[8] = 0xFF, r[9] = 0x03;
       })},
      {"gauge's own percent",
       [] { return show(GetFanSpeedPercent()); },
       {command(69)},
       "33.5",
       reply([](Bytes& r) { putFloat(r, 8, 33.5f); })},
      {"fan version", [] { return show(GetFanVersion()); }, {command(41)}, "2.1"},
      {"flow target",
       [] {
         float target = -1.5f;
         return show(SetFlowPressure(&target));
       },
       {command(16, {{8, 0xFF}, {9, 0xFF}})},
       "true"},
      {"room target",
       [] {
         float target = 300.7f;
         return show(SetRoomPressure(&target));
       },
       {command(17, {{8, 0x2C}, {9, 0x01}})},
       "true"},
      {"at pressure",
       [] {
         float value = 1234.0f;
         return show(SetAtPressure(3, &value));
       },
       {command(42, {{8, 3}, {9, 0xD2}, {10, 0x04}})},
       "true"},
      {"at pressure in hundredths",
       [] { return show(GetAtPressure(3)); },
       {command(43, {{8, 3}})},
       "-2.5",
       settings([](auto& s) { s.atPressure[3] = -250; })},
      {"PID constant bit for bit",
       [] {
         float value = 0.75f;
         return show(SetRoomPIDConstant(2, &value));
       },
       {withFloat(command(26, {{8, 2}}), 9, 0.75f)},
       "true"},
      {"PID constant read back",
       [] { return show(GetRoomPIDConstant(1)); },
       {command(27, {{8, 1}})},
       "0.5"},
  });
}

TEST(ModeExports, FailedSelectionKeepsTheCounts) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  ASSERT_TRUE(SetDevice(2));
  EXPECT_EQ(counts(), "5 4");
  EXPECT_EQ(GetMaxRange(), 5);
  EXPECT_EQ(GetMaxDevice(), 4);
  sim.silence();
  EXPECT_FALSE(SetRange(1));
  EXPECT_EQ(counts(), "5 4");
}

TEST(ModeExports, AutoZeroFlagAfterFailures) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  ASSERT_TRUE(SetAutoZeroOn(1));
  sim.silence();
  EXPECT_FALSE(SetAutoZeroOn(0));
  EXPECT_TRUE(GetAutoZero());  // a failed switch keeps the flag
  EXPECT_FALSE(SetAutoZeroOff(0));
  EXPECT_FALSE(GetAutoZero());  // cleared before sending
}

// Names as the gauge may send them: padded, announced longer than received, longer than the
// list limit, longer than a name field.
TEST(ModeExports, TextReplies) {
  const auto text = [](std::string body, std::size_t announced, std::size_t size = 64) {
    return [=](Bytes& r) {
      std::fill(r.begin() + 8, r.end(), 'x');
      std::copy(body.begin(), body.end(), r.begin() + 8);
      r[5] = static_cast<std::uint8_t>(announced);
      r.resize(size);
    };
  };
  runWireCases({
      {"leading blanks dropped",
       [] { return show(GetDeviceName()); },
       {command(33)},
       "\"Name5  \"",
       reply(text("   Name5  ", 10))},
      {"range name too",
       [] { return show(GetDeviceRange()); },
       {command(48)},
       "\"R  \"",
       reply(text("  R  ", 5))},
      {"list keeps blanks",
       [] { return show(GetDeviceRanges()); },
       {command(34)},
       "\" a, b \"",
       reply(text(" a, b ", 6))},
      {"cut to what arrived",
       [] { return show(GetDeviceName()); },
       {command(33)},
       "\"abcdefghijkl\"",
       reply(text("abcdefghijkl", 40, 20))},
      {"list cut to 52",
       [] { return show(GetDeviceRanges()); },
       {command(34)},
       "\"" + std::string(52, 'r') + "\"",
       reply(text(std::string(56, 'r'), 56))},
      {"long name kept whole",
       [] { return show(GetDeviceName()); },
       {command(33)},
       "\"" + std::string(40, 'n') + "\"",
       reply(text(std::string(40, 'n'), 40))},
      {"announced past the packet",
       [] { return show(GetDeviceRange()); },
       {command(48)},
       "\"" + std::string(56, 'x') + "\"",
       reply(text("", 200))},
  });
}

TEST(ModeExports, TextCutsAreLogged) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.editReply = [](Bytes& r) {
    r[5] = 40;
    r.resize(20);
  };
  auto log = ::testing::PrintToString(logLinesAt(9, [] { SysFreeString(GetDeviceName()); }));
  EXPECT_EQ(timesIn(log, "length is 40, but max in buffer is 12"), 1) << log;
  sim.editReply = [](Bytes& r) { r[5] = 56; };
  log = ::testing::PrintToString(logLinesAt(9, [] { SysFreeString(GetDeviceRanges()); }));
  EXPECT_EQ(timesIn(log, "VIRTUAL_GET_DEVICE_RANGES length is 56, but max is 52"), 1) << log;
}

TEST(ModeExports, LogLines) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  const auto text = ::testing::PrintToString(logLinesAt(4, [] {
    float value = 2.5f;
    SetRange(1);
    SetFanSpeed(&value);
    SetAtPressure(2, &value);
    GetAtPressure(2);
    GetRoomPIDConstant(0);
    GetAtMode();
    GetConstN();
    GetFanVersion();
    GetReverseModeStatus();
    SysFreeString(TimeAverageMode());
    SysFreeString(GetDeviceName());
  }));
  for (const char* line : {"SetRange 1", "SetFanSpeed  2.50", "SetAtPressure 2  2.50",
                           "GetAtPressure 2 = 0.02", "GetRoomPIDConstant(0) = 0.6", "mode = False",
                           "constn = 0.5", "GetFanVersion 2.1", "GetReverseModeStatus = False",
                           "TimeAverageMode = 2 - 2s ", "GetDeviceName = \\\"Fan Model 3\\\""})
    EXPECT_GE(timesIn(text, line), 1) << line << "\n" << text;
}

}  // namespace
}  // namespace qx5::test
