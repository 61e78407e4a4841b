// The developer diagnostics run as a program against simulated gauges: rounding table,
// watchdog, device walk, sizes, counters, text on the display, and the battery log.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <regex>

#include "qx5cmd/e2e/EndToEnd.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using namespace e2e;
using qx5::test::TempDir;
using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;

#define REQUIRE_DIAGNOSTIC_EXPORTS(...) REQUIRE_GAUGE_LOOP_EXPORTS("RunTest", ##__VA_ARGS__)

std::size_t countOf(const std::string& text, const std::regex& pattern) {
  return static_cast<std::size_t>(
      std::distance(std::sregex_iterator(text.begin(), text.end(), pattern), {}));
}

// Gauges from .gauge files in a folder that is also qx5cmd's working folder.
struct GaugeFolder {
  void add(const std::string& name, const std::string& text) const {
    writeFile(dir.path() / (name + ".gauge"), text);
  }
  ProcessResult run(std::vector<std::string> args) const {
    return qx5cmdIn(dir.path(), std::move(args), simulated(dir.path().string()));
  }
  TempDir dir;
};

TEST(Qx5cmdDiagnostics, UsageListsTheDiagnosticsLastForEveryUser) {
  ProcessResult r = qx5cmd({"-h"});
  EXPECT_THAT(r.err, HasSubstr("   get_sig_fig\n      test get_sig_fig\n"
                               "   watchdog\n      check how long a delay is necessary to trip "
                               "the watchdog\n"
                               "   check_ranges\n      check device ranges\n"
                               "   fix_dates\n      fix the calibration date/serial number\n"
                               "   get_sizes\n      get eeprom sizes\n"
                               "   get_timing\n      get gauge timers\n"
                               "   display_message <message1> <message2>\n"
                               "      display a message on the gauge\n"
                               "   monitor_battery\n      creates battery_test.csv with a log of "
                               "battery voltage\n   info\n"));
}

TEST(Qx5cmdDiagnostics, SigFigTablePassesAndNumbersOnInTheSecondLoop) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  ProcessResult r = qx5cmd({"-d=0", "-n=2", "get_sig_fig"}, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(countOf(r.out, std::regex("TEST\\d+, [^\n]*, Pass\n")), 66u) << r.out;
  EXPECT_THAT(r.out, Not(HasSubstr("Failed")));
  EXPECT_THAT(r.out, HasSubstr("\nTEST1,    333.333,       0.01, \"     335\", \"     335\", "));
  EXPECT_THAT(r.out, HasSubstr("\nTEST33, "));
  EXPECT_THAT(r.out, HasSubstr("\nTEST34,    333.333, "));
  EXPECT_THAT(r.out, HasSubstr("\nTEST66, "));
}

TEST(Qx5cmdDiagnostics, WatchdogStopsAtTheGaugesPeriod) {
  REQUIRE_DIAGNOSTIC_EXPORTS("GetQX5FirmwareVersion");
  GaugeFolder gauges;
  gauges.add("a", "watchdog_ms = 300\n");
  ProcessResult r = gauges.run({"-d=0", "-s", "watchdog"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("testing a delay of 100ms\ntesting a delay of 200ms\n"
                               "testing a delay of 300ms\nfirmware version \"3.05\" became "));
  EXPECT_THAT(r.out, Not(HasSubstr("400ms")));
  EXPECT_THAT(r.out, HasSubstr("\nfailed watchdog "));
}

TEST(Qx5cmdDiagnostics, CheckRangesListsEveryDeviceAndRangeOnce) {
  REQUIRE_DIAGNOSTIC_EXPORTS("GetDeviceName", "GetDeviceRanges", "GetDeviceRange", "PushButton");
  ProcessResult r = qx5cmd({"-d=0", "check_ranges", "GetDeviceName"}, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("device = \"Fan Model 3\"\nranges = \"Open,Ring A,Ring B,Ring C\"\n"
                               "range = \"Open\"\nrange = \"Ring A\"\nrange = \"Ring B\"\n"
                               "range = \"Ring C\"\ndevice = \"Fan Model 4\"\n"));
  EXPECT_THAT(r.out, HasSubstr("device = \"Duct Fan\"\n"));
  EXPECT_THAT(r.out, HasSubstr("device = \"Pressure Only\"\nranges = \"None\"\n"
                               "range = \"None\"\n"));
  EXPECT_EQ(countOf(r.out, std::regex("device = ")), 4u);
  EXPECT_EQ(countOf(r.out, std::regex("range = ")), 13u);
  EXPECT_THAT(r.out, HasSubstr("\nGetDeviceName            Fan Model 3\n")) << "back at the start";
}

TEST(Qx5cmdDiagnostics, SizesAndFixedDatesOnTheGauge) {
  REQUIRE_DIAGNOSTIC_EXPORTS("SetCustomDate", "SetSerialNumber", "GetCalibrationDate");
  GaugeFolder gauges;
  gauges.add("a", "eeprom_version = 16\n");
  ProcessResult r = gauges.run({"-d=0", "get_sizes", "fix_dates", "GetSerialNumber"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("\nsizeof dbee = 1010\nsizeof device = 14\nnum_devices = 4\n"));
  EXPECT_THAT(r.out, HasSubstr("\nGetSerialNumber          234567\n"));
  // The next process finds the gauge as fix_dates left it.
  r = gauges.run({"-d=0", "GetCalibrationDate"});
  EXPECT_THAT(r.out, HasSubstr("\nGauge#                   234567\n"));
  EXPECT_THAT(r.out, HasSubstr("\nGetCalibrationDate       2001-02-28\n"));
}

TEST(Qx5cmdDiagnostics, TimingShowsOnlyCountersThatAreNotZero) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  // One second after the gauge started, then ten more: exact, on the run's virtual clock. The
  // gauge updates its converter 100 times and its readings 10 times a second.
  ProcessResult r = qx5cmd({"-d=0", "Wait", "1", "get_timing"}, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("\natod_updates = 100\ncalc_updates = 10\nsystem_counter = 1000\n"
                               " -- waiting ten seconds --\natod_updates = 1000\n"
                               "calc_updates = 100\nsystem_counter = 10000\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("keypad")));
}

// Rows of a 128 x 64 bitmap file, top first, 16 bytes each.
std::vector<std::string> bitmapRows(const fs::path& file) {
  const std::string bytes = readFile(file);
  std::vector<std::string> rows;
  if (bytes.size() != 62 + 64 * 16) return rows;
  for (int row = 63; row >= 0; --row) rows.push_back(bytes.substr(62 + row * 16, 16));
  return rows;
}

std::vector<std::string> displayWith(const std::vector<std::string>& testWords,
                                     std::string* out = nullptr) {
  TempDir dir;
  std::vector<std::string> args{"-d=0"};
  args.insert(args.end(), testWords.begin(), testWords.end());
  args.push_back("lcd");
  ProcessResult r = qx5cmdIn(dir.path(), args, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  if (out) *out = r.out;
  for (const auto& entry : fs::directory_iterator(dir.path()))
    if (entry.path().extension() == ".bmp") return bitmapRows(entry.path());
  ADD_FAILURE() << "no bitmap\n" << r.out;
  return {};
}

bool blank(const std::vector<std::string>& rows, std::size_t from, std::size_t to) {
  for (std::size_t row = from; row < to; ++row)
    if (rows[row].find_first_not_of('\0') != std::string::npos) return false;
  return true;
}

TEST(Qx5cmdDiagnostics, DisplayMessageShowsBothLinesInTheCapture) {
  REQUIRE_DIAGNOSTIC_EXPORTS("GetLcdRow");
  std::string out;
  const auto hello = displayWith({"display_message", "Hello", "World"});
  const auto earth =
      displayWith({"display_message", "Hello", "Earth" + std::string(30, '!')}, &out);
  const auto normal = displayWith({});
  ASSERT_EQ(hello.size(), 64u);
  ASSERT_EQ(earth.size(), 64u);
  ASSERT_EQ(normal.size(), 64u);
  EXPECT_NE(hello, normal);
  // The first line in the top half, the second in the bottom half.
  EXPECT_FALSE(blank(hello, 0, 32));
  EXPECT_FALSE(blank(hello, 32, 64));
  EXPECT_TRUE(std::equal(hello.begin(), hello.begin() + 32, earth.begin()));
  EXPECT_FALSE(std::equal(hello.begin() + 32, hello.end(), earth.begin() + 32));
  EXPECT_THAT(out,
              HasSubstr("line 2 cut to 29 characters: \"Earth" + std::string(24, '!') + "\"\n"));
}

TEST(Qx5cmdDiagnostics, DisplayMessageWithOneTextIsRefused) {
  ProcessResult r = qx5cmd({"display_message", "Hello"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.err, HasSubstr(" invalid argument to test display_message\n"));
  EXPECT_EQ(r.out, "");
}

TEST(Qx5cmdDiagnostics, BatteryMonitorAppendsOneLinePerLoopToEachGaugesFile) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  GaugeFolder gauges;
  gauges.add("a", "serial = 111\nbattery = flat\n");
  gauges.add("b", "serial = 222\nbattery = charging\n");
  ProcessResult r = gauges.run({"-d=0", "-n=2", "monitor_battery"});
  EXPECT_EQ(r.exitStatus, 0);
  const std::string time = "\"[0-9]{2}:[0-9]{2}:[0-9]{2}\"";
  EXPECT_THAT(readFile(gauges.dir.path() / "battery_test_111.csv"),
              MatchesRegex("(" + time + ",\"0\",\"off\",\"off\"\n){2}"));
  EXPECT_THAT(readFile(gauges.dir.path() / "battery_test_222.csv"),
              MatchesRegex("(" + time + ",\"36[0-9]{2}\",\"A/C\",\"charging\"\n){2}"));
  EXPECT_EQ(countOf(r.out, std::regex("[0-9:]{8}       0 off      off\b{29}")), 2u) << r.out;
  EXPECT_THAT(readFile(gauges.dir.path() / "battery_test_222.svg"), HasSubstr(">2 samples from "));
}

// The chart is a picture for people: one that cannot be written is said once and the log goes on.
TEST(Qx5cmdDiagnostics, BatteryChartThatCannotBeWrittenIsSaidOnceAndFailsNothing) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  GaugeFolder gauges;
  gauges.add("a", "serial = 111\nbattery = discharging\n");
  fs::create_directory(gauges.dir.path() / "battery_test_111.svg");
  ProcessResult r = gauges.run({"-d=0", "-n=3", "-s", "monitor_battery"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(countOf(r.err, std::regex("can't write battery_test_111.svg: ")), 1u) << r.err;
  EXPECT_EQ(countOf(readFile(gauges.dir.path() / "battery_test_111.csv"), std::regex("\n")), 3u);
  EXPECT_THAT(r.out, Not(HasSubstr("failed monitor_battery")));
}

TEST(Qx5cmdDiagnostics, BatteryMonitorPrintsEachSampleWhenTheFileCannotBeWritten) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  GaugeFolder gauges;
  gauges.add("a", "serial = 111\nbattery = discharging\n");
  fs::create_directory(gauges.dir.path() / "battery_test_111.csv");
  ProcessResult r = gauges.run({"-d=0", "-n=2", "monitor_battery"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_EQ(countOf(r.out, std::regex("[0-9:]{8}    3[89][0-9]{2} off off\n")), 2u) << r.out;
  EXPECT_EQ(countOf(r.out, std::regex("can't append to battery_test_111.csv")), 1u);
}

// Logging stale or zero contents as a fresh sample would put readings in the file that the gauge
// never gave.
TEST(Qx5cmdDiagnostics, BatteryMonitorLogsNothingWhenTheGaugeGivesNoSample) {
  REQUIRE_DIAGNOSTIC_EXPORTS();
  GaugeFolder gauges;
  // Identified at opening, serial read by the loop and by the test, then gone.
  gauges.add("a", "serial = 111\nfault = unplug-after=3\n");
  ProcessResult r = gauges.run({"-d=0", "-s", "monitor_battery"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("\nmonitor_battery: the gauge gave no battery sample\nERROR:\n"));
  EXPECT_THAT(r.out, HasSubstr("\nfailed monitor_battery "));
  EXPECT_FALSE(fs::exists(gauges.dir.path() / "battery_test_111.csv"));
}

}  // namespace
}  // namespace qx5cmd
