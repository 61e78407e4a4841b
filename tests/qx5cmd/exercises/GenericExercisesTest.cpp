#include "qx5cmd/exercises/GenericExercises.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstdlib>

#include "qx5cmd/exercises/RegisteredTestsTest.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "support/EnvironmentVariable.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

class GenericExercisesTest : public testing::RegisteredTestsTest {
 protected:
  void SetUp() override {
    RegisteredTestsTest::SetUp();
    registerMeasurementTests(registry);
  }

  // Runs the one test of the run list; its output and result.
  bool runOnly(std::string& out) {
    EXPECT_EQ(runList.size(), 1u);
    ::testing::internal::CaptureStdout();
    bool ok = runList[0]->run();
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }
};

TEST_F(GenericExercisesTest, RegistryOrderAndDeveloperOnlyTests) {
  std::vector<std::string> names;
  for (const auto& t : registry.tests()) names.push_back(t->name);
  EXPECT_EQ(names, (std::vector<std::string>{"GetSerialNumber",
                                             "GetPressure",
                                             "GetPressureFaster",
                                             "GetFanSpeed",
                                             "GetFanSpeedPercent",
                                             "GetFlow",
                                             "GetQX5FirmwareVersion",
                                             "GetUSBCPUVersion",
                                             "ResetUSBCPU",
                                             "GetDLLVersion",
                                             "GetDeviceName",
                                             "GetDeviceRange",
                                             "GetDeviceRanges",
                                             "GetCalibrationDate",
                                             "TimeAverageMode",
                                             "SetRange",
                                             "SetFanSpeed",
                                             "SetRoomPressure",
                                             "SetCompanyName",
                                             "PushButton",
                                             "TickRate",
                                             "Wait",
                                             "lcd",
                                             "Goto"}));
  qx5::test::setEnvironment("USERNAME", "quill");
  TestRegistry developer;
  registerMeasurementTests(developer);
  qx5::test::clearEnvironment("USERNAME");
  ASSERT_EQ(developer.tests().size(), 26u);
  EXPECT_STREQ(developer.tests()[20]->name, "SetSerialNumber");
  EXPECT_STREQ(developer.tests()[21]->name, "SetDate");
  EXPECT_EQ(developer.tests()[20]->arguments, std::vector<std::string>{"int"});
  EXPECT_STREQ(registry.find("wait")->description, "wait for the specified number of seconds");
}

TEST_F(GenericExercisesTest, SetRangeSendsTheLowEightBits) {
  ASSERT_EQ(parse({"SetRange", "300"}), std::nullopt);
  EXPECT_EQ(runList[0]->displayName, "SetRange 300");
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(out, "");
  EXPECT_EQ(fake_.takeCalls(), "SetRange 44\n");
}

TEST_F(GenericExercisesTest, BadNumbersAreRefusedWithTheClassMessage) {
  EXPECT_EQ(parse({"SetRange", "3x"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad integer argument '3x' to SetRange invalid argument to "
                                 "test SetRange\nqx5cmd compiled"));
  EXPECT_EQ(parse({"SetFanSpeed", "fast"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad float argument 'fast' to SetFanSpeed"));
  EXPECT_EQ(parse({"Wait", "1s"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad seconds argument '1s' to Wait"));
  EXPECT_EQ(parse({"TickRate", "x"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad duration argument 'x' to TickRate"));
  EXPECT_EQ(parse({"SetCompanyName"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad string argument '' to SetCompanyName invalid argument"));
}

TEST_F(GenericExercisesTest, IntegersThatDoNotFit32BitsAreRefused) {
  qx5::test::setEnvironment("USERNAME", "quill");
  registry = TestRegistry{};
  registerMeasurementTests(registry);
  qx5::test::clearEnvironment("USERNAME");
  // Cut to 32 bits, this would write serial number 0 into the gauge.
  EXPECT_EQ(parse({"SetSerialNumber", "4294967296"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad integer argument '4294967296' to SetSerialNumber"));
  EXPECT_EQ(parse({"SetRange", "-9999999999"}), 0);
  EXPECT_THAT(errors, StartsWith(" bad integer argument '-9999999999' to SetRange"));
  ASSERT_EQ(parse({"SetSerialNumber", "-2147483648"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(fake_.takeCalls(), "SetSerialNumber -2147483648\n");
}

TEST_F(GenericExercisesTest, SetterAsLastWordSetsZeroAndSaysSo) {
  ASSERT_EQ(parse({"SetFanSpeed"}), std::nullopt);
  EXPECT_EQ(errors, "warning: SetFanSpeed ends the command line without a value: taking 0\n");
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(fake_.takeCalls(), "SetFanSpeed 0.000000\n");
}

TEST_F(GenericExercisesTest, SetCompanyNameSendsTheTextWithItsZeroByte) {
  ASSERT_EQ(parse({"SetCompanyName", "Acme Air"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(fake_.takeCalls(), "SetCompanyName Acme Air 9\n");
}

TEST_F(GenericExercisesTest, FailingSetterFails) {
  ASSERT_EQ(parse({"SetRoomPressure", "2.5e1"}), std::nullopt);
  fake_.setFailing(0);
  std::string out;
  EXPECT_FALSE(runOnly(out));
  EXPECT_EQ(fake_.takeCalls(), "SetRoomPressure 25.000000\n");
}

TEST_F(GenericExercisesTest, GettersPrintTheirValue) {
  struct Case {
    const char* test;
    const char* line;
  } cases[] = {
      {"GetSerialNumber", "GetSerialNumber          12345\n"},
      {"GetFlow", "GetFlow                  12.25\n"},
      {"GetPressure", "GetPressure              portA=1.5 portB=2.5\n"},
      {"GetDLLVersion", "GetDLLVersion            2.2.0.18\n"},
      {"ResetUSBCPU", "ResetUSBCPU              true\n"},
      {"TimeAverageMode", "TimeAverageMode          10s\n"},
  };
  for (const Case& c : cases) {
    ASSERT_EQ(parse({c.test}), std::nullopt);
    std::string out;
    EXPECT_TRUE(runOnly(out)) << c.test;
    EXPECT_EQ(out, c.line);
  }
}

TEST_F(GenericExercisesTest, GetterSucceedsWithTheFailureValueButPressureFails) {
  fake_.setSerial(-1);
  ASSERT_EQ(parse({"GetSerialNumber"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(out, "GetSerialNumber          -1\n");

  fake_.setFailing(0);
  ASSERT_EQ(parse({"GetPressure"}), std::nullopt);
  EXPECT_FALSE(runOnly(out));
  EXPECT_EQ(out, "");
}

TEST_F(GenericExercisesTest, MissingExportIsReportedAtBind) {
  LibraryBinding withoutPercent(testing::fakeLibraryPath(true));
  session().binding = &withoutPercent;
  ::testing::internal::CaptureStderr();
  aGetFloat percent("GetFanSpeedPercent", "");
  EXPECT_FALSE(percent.bind());
  EXPECT_EQ(::testing::internal::GetCapturedStderr(),
            " can't find function GetFanSpeedPercent in QX5DLL.DLL");
  ::testing::internal::CaptureStdout();
  aGetBool missing("NoSuchBool", "");
  EXPECT_FALSE(missing.bind());
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            " can't find function NoSuchBool in QX5DLL.DLL");
}

TEST_F(GenericExercisesTest, WaitSleepsWholeSecondsRoundedUp) {
  ASSERT_EQ(parse({"Wait", "2.5"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(out, "sleeping 2.5 seconds\n");
  EXPECT_EQ(sleeps(), (std::vector<int>{1000, 1000, 1000}));

  sleeps().clear();
  ASSERT_EQ(parse({"Wait", "0"}), std::nullopt);
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(out, "sleeping 0 seconds\n");
  EXPECT_TRUE(sleeps().empty());
}

TEST_F(GenericExercisesTest, BreakEndsWaitAfterTheCurrentSecond) {
  ASSERT_EQ(parse({"Wait", "100"}), std::nullopt);
  session().sleep = [](int ms) {
    sleeps().push_back(ms);
    requestBreak();
  };
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(sleeps().size(), 1u);
}

TEST_F(GenericExercisesTest, TickRateReport) {
  EXPECT_EQ(tickRateReport(7, 107, 50, 1050),
            "100 ticks in 1000 milliseconds\nthat's 100 ticks per second\n"
            " or 10 milliseconds per tick\n");
  EXPECT_EQ(tickRateReport(0, 5, 9, 9),
            "5 ticks in 0 milliseconds\nthat's n/a ticks per second\n"
            " or n/a milliseconds per tick\n");
  EXPECT_EQ(tickRateReport(3, 3, 0, 1000),
            "0 ticks in 1000 milliseconds\nthat's 0 ticks per second\n"
            " or n/a milliseconds per tick\n");
  // Both counters wrap; the gauge's counts on as a signed 32-bit number.
  EXPECT_THAT(tickRateReport(2147483600, -2147483596, 0xFFFFFE0Cu, 0x1F4u),
              StartsWith("100 ticks in 1000 milliseconds\nthat's 100 ticks per second\n"));
  // A gauge that stops answering reads -1: a negative count, not four billion ticks.
  EXPECT_THAT(tickRateReport(100, -1, 0, 1000), StartsWith("-101 ticks in 1000 milliseconds\n"));
}

TEST_F(GenericExercisesTest, TickRateRunsOnTheGaugeCounter) {
  ASSERT_EQ(parse({"TickRate", "0.25"}), std::nullopt);
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_THAT(out, StartsWith("sleeping 250 milliseconds\n"));
  EXPECT_THAT(out, HasSubstr(" ticks in "));
  EXPECT_EQ(sleeps(), (std::vector<int>{10, 250}));
}

TEST_F(GenericExercisesTest, TickRateDurationsBeyondTheIntRangeAreHeldToIt) {
  session().sleep = [](int ms) {
    sleeps().push_back(ms);
    requestBreak();
  };
  struct Case {
    const char* duration;
    const char* line;
  } cases[] = {{"1e12", "sleeping 2147483647 milliseconds\n"},
               {"-1e12", "sleeping -2147483648 milliseconds\n"},
               {"nan", "sleeping 0 milliseconds\n"}};
  for (const Case& c : cases) {
    clearBreakRequest();
    ASSERT_EQ(parse({"TickRate", c.duration}), std::nullopt);
    std::string out;
    EXPECT_TRUE(runOnly(out));
    EXPECT_THAT(out, StartsWith(c.line)) << c.duration;
  }
}

TEST_F(GenericExercisesTest, BreakEndsTickRatePauseAfterTheCurrentSecond) {
  ASSERT_EQ(parse({"TickRate", "3600"}), std::nullopt);
  session().sleep = [](int ms) {
    sleeps().push_back(ms);
    if (ms == 1000) requestBreak();
  };
  std::string out;
  EXPECT_TRUE(runOnly(out));
  EXPECT_EQ(sleeps(), (std::vector<int>{10, 1000}));
  EXPECT_THAT(out, HasSubstr(" milliseconds per tick\n"));
}

}  // namespace
}  // namespace qx5cmd
