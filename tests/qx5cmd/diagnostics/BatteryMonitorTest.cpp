// The battery monitor's lines and its file, on the stand-in library (whose battery reads 0, off
// mains and not charging).
#include "qx5cmd/diagnostics/BatteryMonitor.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "qx5cmd/fakelib/FakeLibrary.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

namespace fs = std::filesystem;
using ::testing::MatchesRegex;

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

class BatteryMonitorRun : public testing::FakeSessionTest {
 protected:
  void SetUp() override {
    FakeSessionTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
    monitor_.prepare();
  }
  void TearDown() override {
    fs::current_path(previous_);
    FakeSessionTest::TearDown();
  }
  std::string sample() {
    ::testing::internal::CaptureStdout();
    EXPECT_TRUE(monitor_.run());
    return ::testing::internal::GetCapturedStdout();
  }
  std::string file() const { return qx5::test::readFile((dir_.path() / kFile).string()); }

  static constexpr const char* kFile = "battery_test_12345.csv";
  qx5::test::TempDir dir_;
  fs::path previous_;
  aBatteryMonitor monitor_{"monitor_battery", ""};
};

TEST_F(BatteryMonitorRun, EachRunAppendsOneLineAndOverwritesTheStatus) {
  EXPECT_THAT(sample(), MatchesRegex("[0-9]{2}:[0-9]{2}:[0-9]{2}       0 off      off\b{29}"));
  sample();
  EXPECT_THAT(file(), MatchesRegex("(\"[0-9]{2}:[0-9]{2}:[0-9]{2}\",\"0\",\"off\",\"off\"\n){2}"));
}

TEST_F(BatteryMonitorRun, UnwritableFileGivesOneLinePerSample) {
  fs::create_directory(dir_.path() / kFile);  // a folder where the file should be
  const std::string first = sample();
  EXPECT_THAT(first, MatchesRegex("can't append to battery_test_12345.csv: samples follow here\n"
                                  "[0-9:]{8}       0 off off\n"));
  EXPECT_THAT(sample(), MatchesRegex("[0-9:]{8}       0 off off\n")) << "said once";
}

}  // namespace
}  // namespace qx5cmd
