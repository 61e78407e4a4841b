#include "qx5cmd/exercises/Goto.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <climits>
#include <filesystem>

#include "qx5cmd/exercises/RegisteredTestsTest.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

// A clock that moves only when Goto sleeps, plus `step` ms at every reading.
struct FakeClock {
  static inline std::uint32_t now = 0;
  static inline std::uint32_t step = 0;
  static inline int breakAfterSleeps = -1;  // request a break at this sleep (counted from 1)
  static std::uint32_t read() {
    std::uint32_t t = now;
    now += step;
    return t;
  }
};

class GotoTest : public testing::RegisteredTestsTest {
 protected:
  void SetUp() override {
    RegisteredTestsTest::SetUp();
    // Every run leaves goto_<serial>.csv and .svg in the current folder.
    previousFolder_ = std::filesystem::current_path();
    std::filesystem::current_path(folder_.path());
    session().serial = 10001;
    resetGotoProcessState();
    registerMeasurementTests(registry);
    FakeClock::now = 0xFFFFF000;  // the counter wraps during the run
    FakeClock::step = 0;
    FakeClock::breakAfterSleeps = -1;
    session().tickCount = FakeClock::read;
    session().sleep = [](int ms) {
      sleeps().push_back(ms);
      FakeClock::now += static_cast<std::uint32_t>(ms);
      if (static_cast<int>(sleeps().size()) == FakeClock::breakAfterSleeps) requestBreak();
    };
    session().options.delayMs = 1000;
  }
  void TearDown() override {
    std::filesystem::current_path(previousFolder_);
    resetGotoProcessState();
    RegisteredTestsTest::TearDown();
  }

  aGoto& gotoAt(std::size_t i) { return dynamic_cast<aGoto&>(*runList.at(i)); }

  bool run(aTest& test, std::string& out) {
    ::testing::internal::CaptureStdout();
    bool ok = test.run();
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }

  qx5::test::TempDir folder_;
  std::filesystem::path previousFolder_;
};

TEST_F(GotoTest, RegisteredAfterWaitWithItsArgumentNames) {
  const auto& tests = registry.tests();
  ASSERT_GE(tests.size(), 3u);
  EXPECT_STREQ(tests[tests.size() - 3]->name, "Wait");
  EXPECT_STREQ(tests[tests.size() - 2]->name, "lcd");
  EXPECT_STREQ(tests[tests.size() - 2]->description, "get the contents of the lcd");
  EXPECT_STREQ(tests.back()->name, "Goto");
  EXPECT_EQ(tests.back()->arguments, (std::vector<std::string>{"pressure", "accuracy", "duration",
                                                               "max_wait", "sample_duration"}));
  EXPECT_THAT(tests.back()->description,
              StartsWith("request a room pressure and wait for it to achieve that pressure +/- "
                         "accuracy for the specified duration.\n      or cancel after"));
}

TEST_F(GotoTest, OptionalValuesAreRememberedAcrossTheCommandLine) {
  ASSERT_EQ(parse({"Goto", "20", "1", "GetPressure", "Goto", "15", "GetPressure"}), std::nullopt);
  ASSERT_EQ(runList.size(), 4u);
  EXPECT_EQ(gotoAt(0).displayName, "Goto 20 1");
  EXPECT_EQ(gotoAt(0).settings().accuracy, 1.0f);
  EXPECT_EQ(gotoAt(0).settings().duration, 30.0f);
  EXPECT_EQ(gotoAt(0).settings().maxWait, 5.0f);
  EXPECT_EQ(gotoAt(0).settings().sampleDuration, 20.0f);
  EXPECT_EQ(gotoAt(0).durationMs(), 30000);
  EXPECT_EQ(gotoAt(0).maxWaitMs(), 300000);
  EXPECT_STREQ(runList[1]->name, "GetPressure");
  EXPECT_EQ(gotoAt(2).pressure(), 15.0f);
  EXPECT_EQ(gotoAt(2).settings().accuracy, 1.0f);  // inherited from the first Goto
  EXPECT_EQ(gotoAt(2).settings().duration, 30.0f);

  // All five, then the next word is a test again.
  ASSERT_EQ(parse({"Goto", "20", "0.5", "60", "2", "30", "GetPressure"}), std::nullopt);
  ASSERT_EQ(runList.size(), 2u);
  EXPECT_EQ(gotoAt(0).maxWaitMs(), 120000);
  EXPECT_EQ(gotoAt(0).settings().sampleDuration, 30.0f);
}

TEST_F(GotoTest, EndOfLineKeepsTheRememberedValuesAndAMissingPressureIsSaid) {
  ASSERT_EQ(parse({"Goto", "20", "1", "GetPressure", "Goto", "15"}), std::nullopt);
  const GotoSettings& s = gotoAt(2).settings();
  EXPECT_EQ(s.accuracy, 1.0f);
  EXPECT_EQ(s.duration, 30.0f);
  EXPECT_EQ(s.maxWait, 5.0f);
  EXPECT_EQ(s.sampleDuration, 20.0f);
  EXPECT_EQ(gotoAt(2).displayName, "Goto 15");

  ASSERT_EQ(parse({"Goto"}), std::nullopt);
  EXPECT_EQ(errors, "warning: Goto ends the command line without a pressure: taking 0\n");
  EXPECT_EQ(gotoAt(0).settings().accuracy, 1.0f);
}

TEST_F(GotoTest, BadPressureIsRefusedAndHugeLimitsSaturate) {
  EXPECT_EQ(parse({"Goto", "abc"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad pressure 'abc' to Goto invalid argument to test Goto\n"));
  EXPECT_THAT(errors, HasSubstr("Usage: "));

  ASSERT_EQ(parse({"Goto", "20", "1", "1e12", "-1e12", "1"}), std::nullopt);
  EXPECT_EQ(gotoAt(0).durationMs(), INT_MAX);
  EXPECT_EQ(gotoAt(0).maxWaitMs(), INT_MIN);
  ASSERT_EQ(parse({"Goto", "20", "1", "1.0009", "0.0001", "1"}), std::nullopt);
  EXPECT_EQ(gotoAt(0).durationMs(), 1000);  // truncated
  EXPECT_EQ(gotoAt(0).maxWaitMs(), 5);      // 0.0001f minutes is a shade under 6 ms
}

TEST_F(GotoTest, OldFirmwareIsBefore23) {
  for (const char* old : {"1.", "1.9", "2.0", "2.15", "2.2", "2.2.7"})
    EXPECT_TRUE(isOldFirmware(old)) << old;
  for (const char* young : {"", "1", "2", "2.", "2.3", "3.05", "12.0", "BOOT 1.02"})
    EXPECT_FALSE(isOldFirmware(young)) << young;
}

TEST_F(GotoTest, ConvergesThenSamplesAndReports) {
  ASSERT_EQ(parse({"Goto", "20", "1", "2", "1", "1"}), std::nullopt);
  fake_.setFirmware("2.30");
  fake_.setReadings({0.0f, 10.0f, 19.5f, 20.5f, 20.25f, 21.5f, 19.0f},
                    {10.0f, 20.0f, 30.0f, 30.0f, 40.0f, 40.0f, 50.0f});
  std::string out;
  EXPECT_TRUE(run(gotoAt(0), out));
  const std::string label = "Goto 20 1 2 1 1          ";
  EXPECT_EQ(
      out,
      "waiting for pressure of 20 to within an accuracy of 1 for 2 seconds or a maximum of "
      "1 minutes and sample steady state error for 1 seconds\n"
      "firmware = \"2.30\" so using GetFanSpeedPercent\n"
      "firmware = \"2.30\" so using GetPressureFaster\n" +
          label +
          "fan speed 10.00%  err -20.00 kPa  room 0.00 kPa fan 2.5 kPa (outside accuracy)\n" +
          label +
          "fan speed 20.00%  err -10.00 kPa  room 10.00 kPa fan 2.5 kPa (outside accuracy)\n" +
          "controller period update 1\n" + label +
          "fan speed 30.00%  err -0.50 kPa  room 19.50 kPa fan 2.5 kPa (at pressure for 1.0 "
          "secs)\n" +
          label +
          "fan speed 30.00%  err  0.50 kPa  room 20.50 kPa fan 2.5 kPa (at pressure for 2.0 "
          "secs)\n" +
          "controller period update 2\n" + label +
          "fan speed 40.00%  err  0.25 kPa  room 20.25 kPa fan 2.5 kPa (at pressure for 3.0 secs)\n"
          "attained pressure of 20 to within an accuracy of 1 for 2 seconds\n" +
          label +
          "fan speed 40.00%  err  1.50 kPa  room 21.50 kPa fan 2.5 kPa (sampling steady state "
          "error)\n" +
          "controller period update 1.5\n" + label +
          "fan speed 50.00%  err -1.00 kPa  room 19.00 kPa fan 2.5 kPa (sampling steady state "
          "error)\n" +
          label + "... maximum error during sample duration 1.50\n" + label +
          "... average error during sample duration 1.25\n");
  // Approach at the -d pace, sampling every 500 ms.
  EXPECT_EQ(sleeps(), (std::vector<int>{1000, 1000, 1000, 1000, 1000, 500}));
  EXPECT_EQ(fake_.takeCalls(), "SetRoomPressure 20.000000\n");  // the fan is left running
  EXPECT_TRUE(session().options.showStats);

  const std::string name = gotoAt(0).displayName;
  EXPECT_EQ(stats().values(name + " absError").count(), 2);
  EXPECT_THAT(stats().values(name + " fanSpeedChange").print(), HasSubstr("max 10.000"));
  EXPECT_THAT(stats().values(name + " maxAbsError").print(), HasSubstr(" 1.500"));
  EXPECT_THAT(stats().values(name + " averageAbsError").print(), HasSubstr(" 1.250"));
  EXPECT_GE(stats().values("controller period").count(), 3);

  // Every poll on the run's own clock, straight across the counter's wrap.
  const std::string csv = qx5::test::readFile("goto_10001.csv");
  EXPECT_THAT(csv, StartsWith("seconds,room_kPa,fan_kPa,fan_speed\n"
                              "0.000,0.000,2.500,10.00\n1.000,10.000,2.500,20.00\n"));
  EXPECT_EQ(std::count(csv.begin(), csv.end(), '\n'), 1 + 7);
  const std::string svg = qx5::test::readFile("goto_10001.svg");
  EXPECT_THAT(svg, HasSubstr("attained and sampled after"));
  EXPECT_THAT(svg, HasSubstr("</svg>\n"));
}

TEST_F(GotoTest, LeavingTheBandRestartsTheDuration) {
  ASSERT_EQ(parse({"Goto", "20", "1", "1.5", "0", "0"}), std::nullopt);
  fake_.setReadings({20.0f, 20.0f, 25.0f, 20.0f, 20.0f, 20.0f}, {});
  std::string out;
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("(at pressure for 0.0 secs)\n"));
  EXPECT_THAT(out, HasSubstr("(at pressure for 1.0 secs)\nGoto 20 1 1.5 0 0"));
  EXPECT_THAT(out, HasSubstr("(outside accuracy)\nGoto 20 1 1.5 0 0        fan speed 50.00%  "
                             "err  0.00 kPa  room 20.00 kPa fan 2.5 kPa (at pressure for 1.0 "
                             "secs)\nGoto 20 1 1.5 0 0        fan speed 50.00%  err  0.00 kPa  "
                             "room 20.00 kPa fan 2.5 kPa (at pressure for 2.0 secs)\nattained"));
}

TEST_F(GotoTest, ZeroLimitsNeedAnExactPressureAndOneSample) {
  ASSERT_EQ(parse({"Goto", "20", "0", "0", "0", "0"}), std::nullopt);
  FakeClock::step = 1;  // every reading of the clock takes a millisecond
  fake_.setReadings({20.01f, 20.0f, 20.0f, 20.0f}, {});
  std::string out;
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("(outside accuracy)\n"));
  EXPECT_THAT(out, HasSubstr("(at pressure for 1.0 secs)\nattained"));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 9) << out;
  EXPECT_THAT(out, HasSubstr("(sampling steady state error)\nGoto 20 0 0 0 0"));
}

TEST_F(GotoTest, TimeOutStopsTheFan) {
  ASSERT_EQ(parse({"Goto", "60", "1", "1", "0.05", "1"}), std::nullopt);  // 3000 ms
  fake_.setReadings({48.0f}, {100.0f});
  std::string out;
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_EQ(std::count(out.begin(), out.end(), '('), 5);  // polls at 0, 1, 2, 3 and 4 s
  EXPECT_THAT(out, HasSubstr("(outside accuracy)\ntimeout waiting to attain pressure\n"));
  EXPECT_EQ(fake_.takeCalls(), "SetRoomPressure 60.000000\nSetFanSpeed 0.000000\n");
  EXPECT_THAT(qx5::test::readFile("goto_10001.svg"),
              HasSubstr("timed out before the pressure was attained after 4.0 s, 5 polls"));
}

TEST_F(GotoTest, WithoutMaxWaitItWaitsUntilInterrupted) {
  ASSERT_EQ(parse({"Goto", "60", "1", "1", "0", "1"}), std::nullopt);
  fake_.setReadings({48.0f}, {100.0f});
  session().options.delayMs = 2500;
  FakeClock::breakAfterSleeps = 20;
  std::string out;
  EXPECT_FALSE(run(gotoAt(0), out));
  // The -d pause is sliced so that the break is seen within a second.
  EXPECT_EQ(sleeps().size(), 20u);
  EXPECT_EQ(std::vector<int>(sleeps().begin(), sleeps().begin() + 3),
            (std::vector<int>{1000, 1000, 500}));
  EXPECT_EQ(fake_.takeCalls(), "SetRoomPressure 60.000000\n");
}

TEST_F(GotoTest, BreakDuringSamplingEndsTheRun) {
  ASSERT_EQ(parse({"Goto", "20", "1", "0", "0", "100"}), std::nullopt);
  fake_.setReadings({20.0f}, {});
  FakeClock::breakAfterSleeps = 4;  // two approach pauses, then two sample pauses
  std::string out;
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_EQ(sleeps(), (std::vector<int>{1000, 1000, 500, 500}));
  EXPECT_THAT(out, Not(HasSubstr("... maximum")));
}

TEST_F(GotoTest, PressureExportIsChosenOnceAndFanExportEveryRun) {
  ASSERT_EQ(parse({"Goto", "20", "5", "0", "0", "0"}), std::nullopt);
  fake_.setReadings({20.0f}, {});
  auto count = [](const char* name) { return stats().times(name).count(); };
  int pressure = count("GetPressure"), faster = count("GetPressureFaster");
  int fan = count("GetFanSpeed"), percent = count("GetFanSpeedPercent");

  fake_.setFirmware("2.2");
  std::string out;
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("firmware = \"2.2\" so using GetFanSpeed\n"
                             "firmware = \"2.2\" so using GetPressure\n"));
  EXPECT_GT(count("GetPressure"), pressure);
  EXPECT_GT(count("GetFanSpeed"), fan);
  EXPECT_EQ(count("GetPressureFaster"), faster);
  EXPECT_EQ(count("GetFanSpeedPercent"), percent);

  fake_.setFirmware("2.3");
  pressure = count("GetPressure");
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("firmware = \"2.3\" so using GetFanSpeedPercent\n"));
  EXPECT_THAT(out, Not(HasSubstr("so using GetPressure")));
  EXPECT_GT(count("GetPressure"), pressure);  // kept from the first run
  EXPECT_GT(count("GetFanSpeedPercent"), percent);

  resetGotoProcessState();  // as a new program would
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("firmware = \"2.3\" so using GetPressureFaster\n"));
  EXPECT_GT(count("GetPressureFaster"), faster);
}

TEST_F(GotoTest, LibraryWithoutFanSpeedPercentUsesGetFanSpeed) {
  LibraryBinding withoutPercent(testing::fakeLibraryPath(true));
  session().binding = &withoutPercent;
  ASSERT_EQ(parse({"Goto", "1.5", "5", "0", "0", "0"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("DLL doesn't have GetFanSpeedPercent so using GetFanSpeed\n"));
  EXPECT_THAT(out, HasSubstr("fan speed 50.00%"));
}

TEST_F(GotoTest, MissingExportFailsTheRunWithoutCallingIt) {
  ASSERT_EQ(parse({"Goto", "20", "5", "0", "0", "0"}), std::nullopt);
  LibraryBinding partial(testing::fakeLibraryPath());
  session().binding = &partial;
  fake_.setFirmware("3.0");
  std::string out;

  partial.SetRoomPressure.reset();
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("Goto: the library lacks SetRoomPressure\n"));
  EXPECT_EQ(fake_.takeCalls(), "");

  partial.SetRoomPressure = bindFunction<QX5SetFloat>("SetRoomPressure", partial);
  partial.GetPressureFaster.reset();
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("so using GetPressureFaster\nGoto: the library lacks "
                             "GetPressureFaster\n"));

  fake_.setFirmware("2.1");
  partial.GetFanSpeed.reset();
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_THAT(out, HasSubstr("so using GetFanSpeed\nGoto: the library lacks GetFanSpeed\n"));
}

TEST_F(GotoTest, FailedPressureReadEndsTheRunAndLeavesTheFan) {
  ASSERT_EQ(parse({"Goto", "20", "1", "1", "1", "1"}), std::nullopt);
  fake_.setFailing(0);
  std::string out;
  EXPECT_FALSE(run(gotoAt(0), out));
  EXPECT_THAT(out, Not(HasSubstr("fan speed")));
  EXPECT_EQ(fake_.takeCalls(), "SetRoomPressure 20.000000\n");
}

}  // namespace
}  // namespace qx5cmd
