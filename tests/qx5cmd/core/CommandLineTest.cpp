#include "qx5cmd/core/CommandLine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qx5cmd/core/TestDoubles.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

using testing::aTwoNumbers;
using ::testing::HasSubstr;
using ::testing::StartsWith;

class CommandLineTest : public ::testing::Test {
 protected:
  void SetUp() override {
    testing::registerProbes(registry);
    aTwoNumbers::offered.clear();
  }

  // Parses the words after the program name; keeps what went to standard error.
  std::optional<int> parse(std::vector<std::string> words) {
    words.insert(words.begin(), "qx5cmd");
    ::testing::internal::CaptureStderr();
    auto status = parseCommandLine(words, registry, state, runList);
    errors = ::testing::internal::GetCapturedStderr();
    return status;
  }

  std::vector<std::string> runListNames() const {
    std::vector<std::string> names;
    for (const auto& test : runList) names.push_back(test->name);
    return names;
  }

  TestRegistry registry;
  Session state;
  RunList runList;
  std::string errors;
};

TEST_F(CommandLineTest, FlagLettersCombineAndUnknownLetterEndsTheWord) {
  EXPECT_EQ(parse({"-qs", "/x"}), std::nullopt);
  EXPECT_TRUE(state.options.quiet);
  EXPECT_TRUE(state.options.showStats);
  EXPECT_TRUE(state.options.stopOnFailure);

  state = Session{};
  EXPECT_EQ(parse({"-zq", "-rlu"}), std::nullopt);
  EXPECT_FALSE(state.options.quiet);
  EXPECT_TRUE(state.options.registryInfo && state.options.reloadLibrary &&
              state.options.usbCpuVersion);
}

TEST_F(CommandLineTest, ValueLettersTakeTheRestOfTheWord) {
  EXPECT_EQ(parse({"-d=500", "-n3", "-g=10002", "-v=2"}), std::nullopt);
  EXPECT_EQ(state.options.delayMs, 500);
  EXPECT_EQ(state.options.loops, 3);
  EXPECT_EQ(state.options.gaugeSerial, 10002);
  EXPECT_EQ(state.options.verbosity, 2);

  EXPECT_EQ(parse({"-sn=7q"}), std::nullopt);  // leading digits; the q is part of the value
  EXPECT_EQ(state.options.loops, 7);
  EXPECT_FALSE(state.options.quiet);

  // Beyond the int range a count or delay is held to it, not cut to whatever 32 bits remain
  // (4294967297 loops would have been one, a delay of 4294967296 ms none).
  EXPECT_EQ(parse({"-n=4294967297", "-d=4294967296x"}), std::nullopt);
  EXPECT_EQ(state.options.loops, 2147483647);
  EXPECT_EQ(state.options.delayMs, 2147483647);
  EXPECT_EQ(parse({"-d=-99999999999"}), std::nullopt);
  EXPECT_EQ(state.options.delayMs, -2147483647 - 1);

  EXPECT_EQ(parse({"-n", "-d", "-v", "-g"}), std::nullopt);
  EXPECT_EQ(state.options.loops, 0);
  EXPECT_EQ(state.options.delayMs, 0);
  EXPECT_EQ(state.options.verbosity, 5);
  EXPECT_EQ(state.options.gaugeSerial, 0);
  EXPECT_EQ(errors, "");
}

TEST_F(CommandLineTest, BadGaugeOrVerbosityEndsWithMinusOne) {
  EXPECT_EQ(parse({"-g=12x"}), -1);
  EXPECT_THAT(errors, StartsWith("qx5cmd: bad gauge number\nqx5cmd compiled on Jul 20 2010\n\n"));
  EXPECT_EQ(parse({"-v=loud"}), -1);
  EXPECT_THAT(errors, StartsWith("qx5cmd: bad verbosity level\n"));
  // Cut to 32 bits these would filter on -1 (an unreadable serial) or on 0 (every gauge).
  EXPECT_EQ(parse({"-g=4294967295"}), -1);
  EXPECT_THAT(errors, StartsWith("qx5cmd: bad gauge number\n"));
  EXPECT_EQ(parse({"-g=4294967296"}), -1);
  EXPECT_EQ(parse({"-v=99999999999999999999"}), -1);
  EXPECT_EQ(parse({"-g=-2147483648", "-v=+7"}), std::nullopt);
  EXPECT_EQ(state.options.gaugeSerial, -2147483647 - 1);
  EXPECT_EQ(state.options.verbosity, 7);
}

TEST_F(CommandLineTest, HelpAndUnknownWordsShowUsageWithStatusZero) {
  EXPECT_EQ(parse({"-h"}), 0);
  EXPECT_THAT(errors, StartsWith("qx5cmd compiled on Jul 20 2010\n\n"));
  EXPECT_EQ(parse({"-?"}), 0);
  EXPECT_EQ(parse({"GetPressure", "bogus", "GetDeviceName"}), 0);
  EXPECT_THAT(errors, StartsWith("qx5cmd: invalid argument 'bogus' no such test\nqx5cmd compiled"));
  EXPECT_EQ(runListNames(), std::vector<std::string>{"GetPressure"});
}

TEST_F(CommandLineTest, UsageTextListsOptionsTestsAndFixedWords) {
  state.options.delayMs = 250;
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(printUsage(registry, state, nullptr), 0);
  std::string text = ::testing::internal::GetCapturedStderr();
  EXPECT_THAT(text, HasSubstr("Command line program to exercise the Orvane\n"
                              "Usage: qx5cmd [<options>] <tests>\n\nOptions:\n   -?\n"));
  EXPECT_THAT(text, HasSubstr("between calls (default=250)\n"));
  EXPECT_THAT(text, HasSubstr("Tests:\n   GetQX5FirmwareVersion\n   GetDeviceName\n"));
  EXPECT_THAT(text, HasSubstr("   GetPressure\n   Pair <first> <second>\n      takes two numbers\n"
                              "   info\n      gets some quick info about each gauge\n"
                              "   logging off\n      disable logging\n"
                              "   logging <file> <level>\n"
                              "      enable logging to <file> with verbosity <level>\n"));
  EXPECT_EQ(text.substr(text.size() - 1), "\n");
}

TEST_F(CommandLineTest, TestWordsAreFoundWithoutRegardToCaseAndMayRepeat) {
  EXPECT_EQ(parse({"getpressure", "GETPRESSURE", "-d=0"}), std::nullopt);
  ASSERT_EQ(runList.size(), 2u);
  EXPECT_NE(runList[0].get(), runList[1].get());
  EXPECT_EQ(state.options.delayMs, 0);
}

TEST_F(CommandLineTest, ArgumentsAreOfferedUntilRefusedOrComplete) {
  EXPECT_EQ(parse({"Pair", "20", "GetPressure", "Pair", "1", "2", "3"}), 0);
  // "3" is not a test: the second Pair took 1 and 2 and wanted no more
  EXPECT_THAT(errors, HasSubstr("invalid argument '3' no such test"));
  ASSERT_GE(runList.size(), 3u);
  EXPECT_EQ(runList[0]->arguments, (std::vector<std::string>{"20"}));
  EXPECT_EQ(runList[1]->name, std::string("GetPressure"));
  EXPECT_EQ(runList[2]->arguments, (std::vector<std::string>{"1", "2"}));
}

TEST_F(CommandLineTest, LastWordTestIsOfferedTheEmptyText) {
  EXPECT_EQ(parse({"Pair"}), std::nullopt);
  EXPECT_EQ(aTwoNumbers::offered, std::vector<std::string>{""});
  EXPECT_TRUE(runList[0]->arguments.empty());
}

TEST_F(CommandLineTest, RejectedArgumentShowsUsage) {
  EXPECT_EQ(parse({"Pair", "bad"}), 0);
  EXPECT_THAT(errors, StartsWith(" invalid argument to test Pair\nqx5cmd compiled on"));
}

TEST_F(CommandLineTest, InfoAppendsSixTests) {
  EXPECT_EQ(parse({"INFO"}), std::nullopt);
  EXPECT_EQ(runListNames(),
            (std::vector<std::string>{"GetQX5FirmwareVersion", "GetDeviceName", "GetDeviceRange",
                                      "GetDeviceRanges", "GetCalibrationDate", "GetPressure"}));
  TestRegistry partial;
  partial.add(std::make_unique<testing::aProbe>("GetQX5FirmwareVersion", ""));
  std::vector<std::string> words{"qx5cmd", "info"};
  ::testing::internal::CaptureStderr();
  EXPECT_EQ(parseCommandLine(words, partial, state, runList), 0);
  EXPECT_EQ(::testing::internal::GetCapturedStderr(), "can't find test GetDeviceName\n");
}

TEST_F(CommandLineTest, LoggingWords) {
  EXPECT_EQ(parse({"logging", "OFF", "GetPressure"}), std::nullopt);
  EXPECT_TRUE(state.options.loggingOff);
  EXPECT_EQ(runList.size(), 1u);
  EXPECT_EQ(parse({"logging", "trace.log", "8", "GetPressure"}), std::nullopt);
  EXPECT_EQ(state.options.logFile, "trace.log");
  EXPECT_EQ(state.options.logLevel, "8");
  EXPECT_EQ(parse({"logging"}), 0);
  EXPECT_THAT(errors, StartsWith(" missing argument to loggingqx5cmd compiled"));
  EXPECT_EQ(parse({"logging", "trace.log"}), 0);
  EXPECT_THAT(errors, StartsWith(" missing level to logging"));
}

class LinePrefixTest : public ::testing::Test {
 protected:
  void TearDown() override { session() = Session{}; }
};

TEST_F(LinePrefixTest, LoopNumberAndGaugeIndex) {
  Session& s = session();
  s = Session{};
  EXPECT_EQ(linePrefix("Gauge#"), "Gauge#");
  s.options.loops = 5;
  EXPECT_EQ(linePrefix("Gauge#"), "1 Gauge#");
  s.options.loops = 0;  // width of "-1"
  s.loopIndex = 2;
  EXPECT_EQ(linePrefix("Gauge#"), " 3 Gauge#");
  s.options.loops = 101;
  s.gaugeCount = 2;
  s.gaugeIndex = 1;
  EXPECT_EQ(linePrefix("x"), "  3 [1] x");
  s.options.loops = 1;
  s.gaugeCount = -1;
  EXPECT_EQ(linePrefix("x"), "x");
}

TEST_F(LinePrefixTest, ResultLinePadsTheLabelTo25Columns) {
  ::testing::internal::CaptureStdout();
  printResult("GetPressure", "portA=1 portB=2");
  printLine("a label that is longer than 25", "v");
  EXPECT_EQ(::testing::internal::GetCapturedStdout(),
            "GetPressure              portA=1 portB=2\na label that is longer than 25v\n");
}

class DelayTest : public ::testing::Test {
 protected:
  void SetUp() override {
    session() = Session{};
    slices().clear();
    clearBreakRequest();
    session().sleep = [](int ms) {
      slices().push_back(ms);
      if (breakAfterSlices > 0 && static_cast<int>(slices().size()) >= breakAfterSlices)
        requestBreak();
    };
  }
  void TearDown() override {
    clearBreakRequest();
    session() = Session{};
    breakAfterSlices = 0;
  }
  static std::vector<int>& slices() {
    static std::vector<int> s;
    return s;
  }
  static inline int breakAfterSlices = 0;
};

TEST_F(DelayTest, PauseIsSlicedToAtMostOneSecond) {
  session().options.delayMs = 2500;
  EXPECT_TRUE(interCallDelay());
  EXPECT_EQ(slices(), (std::vector<int>{1000, 1000, 500}));
  slices().clear();
  session().options.delayMs = 1000;
  EXPECT_TRUE(interCallDelay());
  EXPECT_EQ(slices(), std::vector<int>{1000});
  slices().clear();
  session().options.delayMs = -5;
  EXPECT_TRUE(interCallDelay());
  EXPECT_TRUE(slices().empty());
}

TEST_F(DelayTest, BreakEndsThePauseAfterTheCurrentSlice) {
  breakAfterSlices = 1;
  session().options.delayMs = 5000;
  EXPECT_FALSE(interCallDelay());
  EXPECT_EQ(slices(), std::vector<int>{1000});
  EXPECT_FALSE(interCallDelay());  // no sleeping at all once broken
  EXPECT_EQ(slices().size(), 1u);
}

}  // namespace
}  // namespace qx5cmd
