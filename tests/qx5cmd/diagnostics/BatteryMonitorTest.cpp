// The battery monitor's sample and lines; its runs against simulated gauges are end to end.
#include "qx5cmd/diagnostics/BatteryMonitor.h"

#include "qx5cmd/diagnostics/BatteryChart.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace qx5cmd {
namespace {

TEST(BatteryLines, CsvStatusAndConsoleForms) {
  const BatterySample charging{4012, true, true};
  EXPECT_EQ(batteryCsvLine("09:05:00", charging), "\"09:05:00\",\"4012\",\"A/C\",\"charging\"\n");
  EXPECT_EQ(batteryCsvLine("09:05:00", {}), "\"09:05:00\",\"0\",\"off\",\"off\"\n");
  // The status line is exactly as wide as the backspaces that follow it.
  const std::string status = batteryStatusLine("09:05:00", {});
  EXPECT_EQ(status, "09:05:00       0 off      off" + std::string(29, '\b'));
  EXPECT_EQ(batteryStatusLine("09:05:00", charging).size(), 58u);
  EXPECT_EQ(batteryConsoleLine("09:05:00", {}), "09:05:00       0 off off\n");

  FirmwareTestOutput output{};
  output[0] = 0xAC, output[1] = 0x0F, output[2] = 1, output[3] = 0;
  const BatterySample sample = decodeBatterySample(output);
  EXPECT_EQ(sample.reading, 4012);
  EXPECT_TRUE(sample.mains);
  EXPECT_FALSE(sample.charging);
  EXPECT_EQ(batteryLogFileName(10002), "battery_test_10002.csv");
}

// A log kept over midnight by several runs, with lines that are no sample.
TEST(BatteryChart, LogReadsOverMidnightAndCountsWhatItCannotRead) {
  const BatteryLog log = parseBatteryLog(
      "\"23:59:00\",\"4012\",\"A/C\",\"charging\"\n"
      "\"23:59:30\",\"70000\",\"off\",\"off\"\n"  // beyond 16 bits
      "\"00:00:30\",\"4011\",\"off\",\"off\"\r\n"
      "\"00:01\",\"4010\",\"off\",\"off\"\n"
      "\"00:01:30\",\"4010\",\"on\",\"off\"\n"
      "\n"
      "\"00:02:00\",\"4009\",\"off\",\"charging\"");
  ASSERT_EQ(log.entries.size(), 3u);
  EXPECT_EQ(log.unreadable, 3);
  EXPECT_EQ(log.entries[0].seconds, 86340);
  EXPECT_TRUE(log.entries[0].sample.mains && log.entries[0].sample.charging);
  EXPECT_EQ(log.entries[1].seconds, 86430);
  EXPECT_EQ(log.entries[1].sample.reading, 4011);
  EXPECT_EQ(log.entries[2].seconds, 86520);
  EXPECT_TRUE(log.entries[2].sample.charging);
  const std::string svg = batteryChartSvg(log, "Battery <&>", "log.csv");
  EXPECT_THAT(svg, ::testing::HasSubstr("<title>Battery &lt;&amp;&gt;</title>"));
  EXPECT_THAT(svg, ::testing::HasSubstr("3 samples from 23:59:00 to 00:02:00 (+1d)"));
}

}  // namespace
}  // namespace qx5cmd
