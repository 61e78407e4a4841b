// The firmware's test routines: significant figures, watchdog, sizes, counters, display text,
// battery; and the LCD frame.
#include <algorithm>
#include <sstream>

#include "SimHarness.h"
#include "gaugesim/commands/SigFig.h"
#include "support/ManualClock.h"

namespace qx5::sim::testing {
namespace {

struct SigFigRow {
  float value;
  float step;
  const char* expected[3];  // 2.5, 3 and 3.5 figures
};

const SigFigRow kSigFigTable[] = {
    {333.333f, 0.01f, {"335", "333", "333.5"}},
    {87654320.0f, 0.01f, {"87500000", "87700000", "87650000"}},
    {7654321.0f, 0.01f, {"7650000", "7650000", "7655000"}},
    {66.66666f, 0.0002f, {"66.5", "66.7", "66.65"}},
    {6.666666f, 0.0002f, {"6.65", "6.67", "6.665"}},
    {0.666666f, 0.0002f, {"0.665", "0.667", "0.6665"}},
    {0.066666f, 0.0002f, {"0.0665", "0.0667", "0.0667"}},
    {0.006666f, 0.0002f, {"0.0067", "0.0067", "0.0067"}},
    {0.000666f, 0.0002f, {"0.0007", "0.0007", "0.0007"}},
    {0.000066f, 0.0002f, {"0.0001", "0.0001", "0.0001"}},
    {6.666666f, 0.00001f, {"6.65", "6.67", "6.665"}},
    {0.666666f, 0.00001f, {"0.665", "0.667", "0.6665"}},
    {0.066666f, 0.00001f, {"0.0665", "0.0667", "0.06665"}},
    {0.006666f, 0.00001f, {"0.00665", "0.00667", "0.00667"}},
    {0.000666f, 0.00001f, {"0.00067", "0.00067", "0.00067"}},
    {0.000066f, 0.00001f, {"0.00007", "0.00007", "0.00007"}},
    {0.0000066f, 0.00001f, {"0.00001", "0.00001", "0.00001"}},
    {0.00000066f, 0.00001f, {"0.00000", "0.00000", "0.00000"}},
    {6.666666f, 0.000001f, {"6.65", "6.67", "6.665"}},
    {0.666666f, 0.000001f, {"0.665", "0.667", "0.6665"}},
    {0.066666f, 0.000001f, {"0.0665", "0.0667", "0.06665"}},
    {0.0066666f, 0.000001f, {"0.00665", "0.00667", "0.006665"}},
    {0.0006666f, 0.000001f, {"0.000665", "0.000667", "0.000667"}},
    {0.0000666f, 0.000001f, {"0.000067", "0.000067", "0.000067"}},
    {0.00000666f, 0.000001f, {"0.000007", "0.000007", "0.000007"}},
    {0.000000666f, 0.000001f, {"0.000001", "0.000001", "0.000001"}},
    {0.0000000666f, 0.000001f, {"0.000000", "0.000000", "0.000000"}},
    {-333.333f, 0.01f, {"-335", "-333", "-333.5"}},
    {-7654321.0f, 0.01f, {"-7650000", "-7650000", "-7655000"}},
    {-87654320.0f, 0.01f, {"--------", "--------", "--------"}},
    {987654336.0f, 0.01f, {"--------", "--------", "--------"}},
    {-0.00000666f, 0.000001f, {"-0.00001", "-0.00001", "-0.00001"}},
    {-0.0000666f, 0.000001f, {"-0.00007", "-0.00007", "-0.00007"}},
};

std::string rightAligned(const char* text) {
  const std::string s = text;
  return std::string(8 - s.size(), ' ') + s;
}

class RunTestCommand : public ::testing::Test {
 protected:
  qx5::test::ManualClock clock;
  CountedGauges gauges{1, &clock};
  OpenGauge gauge = gauges.open();
};

// Every row through the packet interface, as get_sig_fig sends it.
TEST_F(RunTestCommand, SignificantFigureTableRowByRow) {
  int row = 0;
  for (const auto& entry : kSigFigTable) {
    ++row;
    for (std::uint8_t mode = 0; mode < 3; ++mode) {
      Bytes input(28, 0);
      putFloat(input, 0, entry.value);
      putFloat(input, 4, entry.step);
      input[8] = mode;
      input[9] = 0x01;
      input[10] = 0x08;
      const Bytes reply = gauge.ok(runTestRequest(1, input));
      ASSERT_GE(reply[5], 12);
      const std::string text(reinterpret_cast<const char*>(reply.data() + 8 + 11));
      EXPECT_EQ(text, rightAligned(entry.expected[mode])) << "row " << row << " mode " << int(mode);
    }
  }
}

TEST(SigFig, NonFiniteValuesDoNotFit) {
  EXPECT_EQ(formatSignificant(std::numeric_limits<float>::infinity(), 0.01f, 1), "--------");
  EXPECT_EQ(formatSignificant(0.0f, 0.01f, 1), "    0.00");
}

TEST_F(RunTestCommand, SizesCountersAndBattery) {
  Bytes reply = gauge.ok(runTestRequest(3, Bytes(1, 0)));
  ASSERT_EQ(reply[5], 6);
  EXPECT_EQ(int16At(reply, 8), 1010);
  EXPECT_EQ(int16At(reply, 10), 18);
  EXPECT_EQ(int16At(reply, 12), 4);

  gauge.ok(command(38, {{8, 1}}));
  const Bytes first = gauge.ok(runTestRequest(4, Bytes(1, 0)));
  ASSERT_EQ(first[5], 26);
  EXPECT_EQ(int16At(first, 8), 1) << "one key press";
  clock.sleepFor(std::chrono::milliseconds(30));
  const Bytes later = gauge.ok(runTestRequest(4, Bytes(1, 0)));
  EXPECT_GT(static_cast<std::uint16_t>(int16At(later, 8 + 2 * 12)),
            static_cast<std::uint16_t>(int16At(first, 8 + 2 * 12)))
      << "system counter runs";

  reply = gauge.ok(runTestRequest(6, Bytes(1, 0)));
  ASSERT_EQ(reply[5], 4);
  EXPECT_GT(int16At(reply, 8), 0);
  EXPECT_EQ(reply[10], 1) << "mains";
}

// Test 6 on a clock the test moves, in each state a .gauge file can name.
TEST(BatteryStates, ReadingsAndFlagsFollowTheStateOverTime) {
  struct Expected {
    const char* key;
    std::uint16_t atStart, after100s;
    bool mains, charging;
  };
  const Expected cases[] = {
      {"full", 4020, 4020, true, false},
      {"charging", 3600, 3700, true, true},
      {"discharging", 3900, 3800, false, false},
      {"flat", 0, 0, false, false},
  };
  for (const Expected& c : cases) {
    std::istringstream text(std::string("battery = ") + c.key + "\n");
    std::ostringstream messages;
    TimePoint now = SteadyClock::now();
    Gauge gauge(parseGaugeConfig(text, "a.gauge", GaugeConfig{}, messages), [&] { return now; });
    EXPECT_EQ(messages.str(), "");
    const auto sample = [&] {
      const Bytes request = runTestRequest(6, Bytes(1, 0));
      Bytes reply(64, 0);
      EXPECT_EQ(gauge.handle(request.data(), request.size(), reply.data(), 64), 64u);
      EXPECT_EQ(reply[5], 4);
      EXPECT_EQ(reply[10] != 0, c.mains) << c.key;
      EXPECT_EQ(reply[11] != 0, c.charging) << c.key;
      return static_cast<std::uint16_t>(int16At(reply, 8));
    };
    EXPECT_EQ(sample(), c.atStart) << c.key;
    now += std::chrono::seconds(100);
    // The topped-up cell wanders a few units; the others move one unit a second.
    EXPECT_NEAR(sample(), c.after100s, 8) << c.key;
    EXPECT_EQ(gauge.batteryLevel(), sample()) << "GetBatteryLevel agrees with the sample";
  }
  // Charging and discharging stop at their ends.
  TimePoint now = SteadyClock::now();
  GaugeConfig config;
  config.battery = BatteryState::Discharging;
  Gauge gauge(config, [&] { return now; });
  now += std::chrono::hours(2);
  EXPECT_EQ(gauge.battery().reading, 3300);
}

TEST(BatteryStates, UnknownStateKeepsTheDefault) {
  std::istringstream text("battery = empty\n");
  std::ostringstream messages;
  const GaugeConfig config = parseGaugeConfig(text, "b.gauge", GaugeConfig{}, messages);
  EXPECT_EQ(config.battery, BatteryState::Full);
  EXPECT_NE(messages.str().find("b.gauge:1: battery must be full, charging, discharging or flat"),
            std::string::npos);
}

// Rows of the LCD as the capture reads them, as text of '#' and '.'.
std::vector<std::string> captureScreen(OpenGauge& gauge) {
  std::vector<std::string> rows;
  for (std::uint8_t row = 0; row < 64; ++row) {
    const Bytes reply = gauge.ok(command(71, {{8, row}}));
    EXPECT_EQ(reply[5], 16);
    std::string line;
    for (int x = 0; x < 128; ++x) line += (reply[8 + x / 8] & (0x80 >> (x % 8))) ? '#' : '.';
    rows.push_back(line);
  }
  return rows;
}

TEST_F(RunTestCommand, DisplayTextAppearsOnTheLcdUntilAKeyIsPressed) {
  const auto normal = captureScreen(gauge);
  EXPECT_TRUE(std::any_of(normal.begin(), normal.end(),
                          [](const std::string& r) { return r.find('#') != std::string::npos; }));
  Bytes line1(31, 0), line2(31, 0);
  line1[0] = 1;
  std::memcpy(line1.data() + 1, "Version", 7);
  line2[0] = 2;
  std::memcpy(line2.data() + 1, "fw", 2);
  gauge.ok(runTestRequest(5, line1));
  gauge.ok(runTestRequest(5, line2));
  const auto message = captureScreen(gauge);
  // "Version" drawn twice the font size from row 8: the V's two strokes on its top row.
  Lcd expected;
  expected.textAt((128 - 7 * 12) / 2, 8, "Version", 2);
  expected.textAt((128 - 2 * 12) / 2, 36, "fw", 2);
  for (int y = 0; y < 64; ++y)
    for (int x = 0; x < 128; ++x)
      ASSERT_EQ(message[y][x] == '#', expected.pixel(x, y)) << "pixel " << x << "," << y;
  gauge.ok(command(38, {{8, 9}}));
  EXPECT_NE(captureScreen(gauge), message);
  EXPECT_EQ(gauge.exchange(command(71, {{8, 64}})).at(6), 0xFF);
  EXPECT_EQ(gauge.exchange(runTestRequest(5, {3, 'x', 0})).at(6), 0xFF);
}

TEST(Font, GlyphsAreDistinctAndUnknownCharactersShowAQuestionMark) {
  EXPECT_NE(std::memcmp(glyph('A'), glyph('B'), 5), 0);
  EXPECT_NE(std::memcmp(glyph('0'), glyph('O'), 5), 0);
  EXPECT_EQ(std::memcmp(glyph('\x01'), glyph('?'), 5), 0);
  EXPECT_NE(glyph('~')[0] | glyph('~')[1] | glyph('~')[2], 0);
}

}  // namespace
}  // namespace qx5::sim::testing
