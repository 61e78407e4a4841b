#include "qx5cmd/core/GaugeLoop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qx5cmd/core/TestDoubles.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;

class GaugeLoopTest : public testing::FakeSessionTest {
 protected:
  void SetUp() override {
    FakeSessionTest::SetUp();
    clearBreakRequest();
  }
  void TearDown() override {
    clearBreakRequest();
    FakeSessionTest::TearDown();
  }

  void add(const char* name) {
    runList.push_back(std::make_unique<testing::aProbe>(name, ""));
    runList.back()->prepare();
  }

  std::string runGaugeLoop() {
    ::testing::internal::CaptureStdout();
    gaugeLoop(runList);
    return ::testing::internal::GetCapturedStdout();
  }

  std::string runStationLoop() {
    session().stationMode = true;
    ::testing::internal::CaptureStdout();
    stationLoop(runList);
    return ::testing::internal::GetCapturedStdout();
  }

  RunList runList;
};

TEST_F(GaugeLoopTest, OneGaugeOneLoop) {
  add("GetPressure");
  session().options.delayMs = 1000;
  EXPECT_EQ(runGaugeLoop(),
            "\n"
            "Number of Gauges:        1\n"
            "Gauge#                   12345\n"
            "GetPressure              ran\n");
  EXPECT_EQ(sleeps(), (std::vector<int>{1000, 1000, 1000}));  // after each of the three steps
}

TEST_F(GaugeLoopTest, LoopNumbersAndGaugeIndicesLabelTheLines) {
  fake_.setGauges(2);
  add("GetPressure");
  session().options.loops = 2;
  std::string out = runGaugeLoop();
  // no gauge selected yet: the prefix names gauge 0
  EXPECT_THAT(out, HasSubstr("\n1 [0] Number of Gauges:  2\n"
                             "1 [0] Gauge#             12345\n"
                             "1 [0] GetPressure        ran\n"
                             "1 [1] Gauge#             12346\n"
                             "1 [1] GetPressure        ran\n"));
  // the gauge part always names the gauge selected last
  EXPECT_THAT(out, HasSubstr("\n2 [1] Number of Gauges:  2\n2 [0] Gauge#"));
}

TEST_F(GaugeLoopTest, QuietPrintsCountAndSerialsInTheFirstLoopOnly) {
  add("GetPressure");
  session().options.loops = 3;
  session().options.quiet = true;
  std::string out = runGaugeLoop();
  EXPECT_EQ(
      out,
      "1 Number of Gauges:      1\n1 Gauge#                 12345\n1 GetPressure            ran\n"
      "2 GetPressure            ran\n3 GetPressure            ran\n");
}

TEST_F(GaugeLoopTest, FilterSerialThatMatchesNothingRunsNoTest) {
  fake_.setGauges(2);
  add("GetPressure");
  session().options.gaugeSerial = 999;
  std::string out = runGaugeLoop();
  EXPECT_THAT(out, HasSubstr("[1] Gauge#               12346\n"));
  EXPECT_THAT(out, Not(HasSubstr("GetPressure")));
  session().options.gaugeSerial = 12346;
  EXPECT_THAT(runGaugeLoop(), HasSubstr("[0] Gauge#               12345\n"
                                        "[1] Gauge#               12346\n"
                                        "[1] GetPressure          ran\n"));
}

TEST_F(GaugeLoopTest, FailedTestSkipsTheRestOnThatGaugeAndShowsTheLibraryError) {
  fake_.setGauges(2);
  fake_.setFailing(0);
  add("GetPressure");
  add("GetDeviceName");
  StatsTimes& failed = stats().times("failed GetPressure");
  int failures = failed.count();
  std::string out = runGaugeLoop();
  EXPECT_THAT(out, HasSubstr("[0] GetPressure          failed\nERROR:\ngauge does not answer\n"
                             "[1] Gauge#"));
  EXPECT_THAT(out, HasSubstr("[1] GetPressure          ran\n[1] GetDeviceName        ran\n"));
  // The test and its export share the name; the export's start and stop come in between the
  // test's, so the one statistic holds one sample per failing run.
  EXPECT_EQ(failed.count(), failures + 1);
}

TEST_F(GaugeLoopTest, StopOnFailureEndsAfterTheFailingLoop) {
  fake_.setFailing(0);
  add("GetPressure");
  session().options.loops = 3;
  std::string withoutX = runGaugeLoop();
  EXPECT_THAT(withoutX, HasSubstr("3 GetPressure"));
  session().options.stopOnFailure = true;
  std::string withX = runGaugeLoop();
  EXPECT_THAT(withX, HasSubstr("1 GetPressure"));
  EXPECT_THAT(withX, Not(HasSubstr("2 Number")));
}

TEST_F(GaugeLoopTest, NoGaugesWaitsOneSecondAndCountsTheLoop) {
  fake_.setGauges(0);
  add("GetPressure");
  session().options.loops = 2;
  EXPECT_EQ(runGaugeLoop(),
            "\n1 Number of Gauges:      No Gauges attached\n"
            "\n2 Number of Gauges:      No Gauges attached\n");
  EXPECT_EQ(sleeps(), (std::vector<int>{1000, 1000}));
}

TEST_F(GaugeLoopTest, UnboundTestFailsWithoutRunning) {
  add("GetPressure");
  runList.back()->bound = false;
  EXPECT_THAT(runGaugeLoop(), Not(HasSubstr("GetPressure ")));
}

TEST_F(GaugeLoopTest, UsbCpuVersionInTheFirstLoop) {
  add("GetPressure");
  session().options.usbCpuVersion = true;
  EXPECT_THAT(runGaugeLoop(), HasSubstr("Gauge#                   usb firmware 1.5\n"
                                        "Gauge#                   12345\n"));
}

TEST_F(GaugeLoopTest, TestWithArgumentsGetsAHeaderLine) {
  runList.push_back(std::make_unique<testing::aTwoNumbers>("Pair", ""));
  runList.back()->arguments = {"1", "2"};
  runList.back()->prepare();
  EXPECT_THAT(runGaugeLoop(),
              HasSubstr("Gauge#                   12345\nPair 1 2                 \n"));
}

TEST_F(GaugeLoopTest, BreakEndsTheLoopsAtTheNextCheck) {
  add("GetPressure");
  session().options.loops = 0;
  session().options.delayMs = 10;
  session().sleep = [](int ms) {
    sleeps().push_back(ms);
    if (sleeps().size() == 5) requestBreak();
  };
  std::string out = runGaugeLoop();
  EXPECT_THAT(out, HasSubstr(" 2 GetPressure"));
  EXPECT_THAT(out, Not(HasSubstr(" 3 ")));
}

void endStation() { requestBreak(); }

TEST_F(GaugeLoopTest, StationFindsListsAndRemovesGauges) {
  add("GetPressure");
  fake_.setScript("12345;12345,12346;12346;", endStation);
  std::string out = runStationLoop();
  EXPECT_THAT(out, HasSubstr("waiting for gauges\nfound gauge  12345    \n"));
  EXPECT_THAT(out, HasSubstr("* gauge  12345 firmware: 1.23\n*\n* waiting for new gauges...\n"));
  EXPECT_THAT(out, HasSubstr("found gauge  12346    \n"));
  EXPECT_THAT(out, HasSubstr("gauge  12345 removed    \n"));
  EXPECT_NE(out.find('\b'), std::string::npos);  // an unchanged poll overwrites its time
  // Each gauge is tested once, when it is found.
  std::size_t runs = 0;
  for (auto p = out.find("GetPressure"); p != std::string::npos; p = out.find("GetPressure", p + 1))
    ++runs;
  EXPECT_EQ(runs, 2u);
}

TEST_F(GaugeLoopTest, StationSkipsGaugeInBootloaderAndReportsFailedTests) {
  add("GetPressure");
  fake_.setSerial(5555555);
  fake_.setScript("1;", endStation);
  std::string out = runStationLoop();
  EXPECT_THAT(out, HasSubstr("found gauge 5555555    \nskipping gauge that is in the bootloader"));
  EXPECT_THAT(out, Not(HasSubstr("GetPressure")));

  fake_.reset();
  fake_.setFailing(0);
  fake_.setScript("777;", endStation);
  clearBreakRequest();
  EXPECT_THAT(runStationLoop(), HasSubstr("upgrade failed for gauge    777\n"));
}

TEST_F(GaugeLoopTest, StationWithStopOnFailurePollsOnce) {
  add("GetPressure");
  session().options.stopOnFailure = true;
  fake_.setScript("12345;12346;", endStation);
  std::string out = runStationLoop();
  EXPECT_THAT(out, HasSubstr("found gauge  12345"));
  EXPECT_THAT(out, Not(HasSubstr("12346")));
}

}  // namespace
}  // namespace qx5cmd
