// The battery monitor's sample and lines; its runs against simulated gauges are end to end.
#include "qx5cmd/diagnostics/BatteryMonitor.h"

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

}  // namespace
}  // namespace qx5cmd
