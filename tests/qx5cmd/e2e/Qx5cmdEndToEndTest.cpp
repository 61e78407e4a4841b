// qx5cmd run as a program: against the simulated gauges of the built library, and (for what the
// library cannot show yet) against the stand-in library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <regex>
#include <set>
#include <sstream>

#include "qx5cmd/core/GaugeLoop.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/e2e/EndToEnd.h"
#include "qx5cmd/e2e/ProcessRunner.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "support/PrivateLibraryCopy.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::MatchesRegex;
using ::testing::Not;
using testing::ProcessOptions;
using testing::ProcessResult;
using ::testing::StartsWith;

namespace fs = std::filesystem;
using namespace e2e;
using qx5::test::TempDir;

// --- the command line alone -------------------------------------------------------------

TEST(Qx5cmdCommandLine, BadGaugeNumberExitsMinusOne) {
  ProcessResult r = qx5cmd({"-g=12x"});
  EXPECT_EQ(r.exitStatus, 255);
  EXPECT_THAT(r.err, StartsWith(kQx5cmd + ": bad gauge number\n" + kQx5cmd + " compiled on"));
  EXPECT_EQ(r.out, "");
}

TEST(Qx5cmdCommandLine, UnknownTestShowsUsageAndExitsZero) {
  ProcessResult r = qx5cmd({"bogus"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.err, StartsWith(kQx5cmd + ": invalid argument 'bogus' no such test\n"));
  EXPECT_THAT(r.err,
              HasSubstr("   Wait <seconds>\n      wait for the specified number of seconds\n"));
  EXPECT_THAT(r.err, Not(HasSubstr("SetSerialNumber")));
}

TEST(Qx5cmdCommandLine, DeveloperTestsOnlyForTheirUser) {
  ProcessResult r = qx5cmd({"-h"}, {{"USERNAME", "Quill"}});
  EXPECT_THAT(r.err, HasSubstr("   PushButton <int>\n   SetSerialNumber <int>\n   SetDate\n"));
}

TEST(Qx5cmdCommandLine, SetCompanyNameAsLastWordIsRefused) {
  ProcessResult r = qx5cmd({"SetCompanyName"});
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.err, StartsWith(" bad string argument '' to SetCompanyName invalid argument to "
                                "test SetCompanyName\n"));
}

TEST(Qx5cmdCommandLine, LibraryThatCannotBeLoadedStopsTheRun) {
  ProcessResult r = qx5cmd({"GetPressure"}, {{"QX5CMD_LIBRARY", "/nonexistent/libqx5dll.so"}});
  EXPECT_EQ(r.exitStatus, 1);
  EXPECT_THAT(r.err, HasSubstr("can't load /nonexistent/libqx5dll.so"));
  EXPECT_THAT(r.err, HasSubstr("QX5CMD_LIBRARY names that file"));
  EXPECT_EQ(r.out, "");
}

// --- against the stand-in library -------------------------------------------------------

TEST(Qx5cmdOnStandIn, InterruptDuringWaitEndsWithinASecondAndPrintsStatistics) {
  ProcessResult r = qx5cmd({"-s", "-d=0", "Wait", "100"}, fake(), SIGINT, "sleeping 100 seconds\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_LT(r.afterSignal, 2.0);
  EXPECT_THAT(r.out, HasSubstr("sleeping 100 seconds\n"));
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
  EXPECT_THAT(r.out, HasSubstr("\nTotalTestTime "));
}

TEST(Qx5cmdOnStandIn, StopOnFailureEndsAfterTheFirstFailingLoop) {
  auto env = fake({{"FAKEQX5_FAILING", "0"}});
  ProcessResult without = qx5cmd({"-d=0", "-n=3", "GetPressure"}, env);
  EXPECT_THAT(without.out, HasSubstr("3 Number of Gauges:      1\n"));
  ProcessResult with = qx5cmd({"-d=0", "-n=3", "-x", "GetPressure"}, env);
  EXPECT_EQ(with.exitStatus, 0);
  EXPECT_THAT(with.out,
              HasSubstr("1 Gauge#                 12345\nERROR:\ngauge does not answer\n"));
  EXPECT_THAT(with.out, Not(HasSubstr("2 Number of Gauges")));
  EXPECT_THAT(with.out, HasSubstr("failed GetPressure "));
}

// --- against simulated gauges -----------------------------------------------------------

TEST(Qx5cmdOnSimulator, OneGaugeGetPressurePrintsThreeLinesAndNoStatistics) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetPressure");
  ProcessResult r = qx5cmd({"-d=0", "GetPressure"}, simulated("1"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_TRUE(
      std::regex_match(r.out, std::regex("\nNumber of Gauges:        1\n"
                                         "Gauge#                   10001\n"
                                         "GetPressure              portA=\\S+ portB=\\S+\n")))
      << r.out;
}

TEST(Qx5cmdOnSimulator, LoopsAndGaugesLabelTheLines) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetPressure");
  ProcessResult loops = qx5cmd({"-d=0", "-n=3", "GetPressure"}, simulated("1"));
  EXPECT_THAT(loops.out, HasSubstr("\n1 Number of Gauges:      1\n1 Gauge#                 10001\n"
                                   "1 GetPressure            portA="));
  EXPECT_THAT(loops.out, HasSubstr("\n3 GetPressure            portA="));
  EXPECT_THAT(loops.out, HasSubstr("\n--- Stats ---\n"));

  ProcessResult gauges = qx5cmd({"-d=0", "GetSerialNumber"}, simulated("2"));
  EXPECT_THAT(gauges.out, HasSubstr("[0] Gauge#               10001\n"
                                    "[0] GetSerialNumber      10001\n"
                                    "[1] Gauge#               10002\n"
                                    "[1] GetSerialNumber      10002\n"));
}

TEST(Qx5cmdOnSimulator, QuietWithStatisticsAndIgnoredLetters) {
  REQUIRE_GAUGE_LOOP_EXPORTS();
  ProcessResult qs = qx5cmd({"-qs", "-d=0", "-n=2", "GetSerialNumber"}, simulated("2"));
  EXPECT_THAT(qs.out, StartsWith("1 [0] Number of Gauges:  2\n"));
  EXPECT_THAT(qs.out, Not(HasSubstr("2 [1] Number of Gauges")));
  // Every serial read (the loop's and the test's) lands in one int statistic.
  EXPECT_THAT(qs.out, HasSubstr("GetSerialNumber.Value           num (8) min 10001, avg "
                                "10001.000, max 10002\n"));

  ProcessResult zq = qx5cmd({"-zq", "-d=0", "GetSerialNumber"}, simulated("1"));
  EXPECT_THAT(zq.out, StartsWith("\nNumber of Gauges:"));
  EXPECT_THAT(zq.out, Not(HasSubstr("--- Stats ---")));
}

TEST(Qx5cmdOnSimulator, FilterSerialThatMatchesNothingRunsNoTest) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetPressure");
  ProcessResult r = qx5cmd({"-d=0", "-g=4242", "GetPressure"}, simulated("2"));
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("[1] Gauge#               10002\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("GetPressure ")));
}

TEST(Qx5cmdOnSimulator, InfoOnTwoGauges) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetQX5FirmwareVersion", "GetDeviceName", "GetDeviceRange",
                             "GetDeviceRanges", "GetCalibrationDate", "GetPressure");
  ProcessResult r = qx5cmd({"-d=0", "info"}, simulated("2"));
  EXPECT_EQ(r.exitStatus, 0);
  for (const char* gauge : {"[0] ", "[1] "}) {
    for (const char* test : {"GetQX5FirmwareVersion", "GetDeviceName", "GetDeviceRange",
                             "GetDeviceRanges", "GetCalibrationDate", "GetPressure"}) {
      // The label is padded to 25 columns; a label of 25 characters meets its value directly.
      char label[64];
      std::snprintf(label, sizeof label, "%-25s", (std::string(gauge) + test).c_str());
      EXPECT_THAT(r.out, HasSubstr("\n" + std::string(label))) << gauge << test;
    }
  }
}

TEST(Qx5cmdOnSimulator, SettersSendTheirArgumentToTheGauge) {
  REQUIRE_GAUGE_LOOP_EXPORTS("SetRange", "SetFanSpeed");
  TempDir dir;
  fs::path trace = dir.path() / "trace.txt";
  auto env = simulated("1");
  env["QX5SIM_TRACE"] = trace.string();
  ProcessResult r = qx5cmd({"-d=0", "SetRange", "300", "SetFanSpeed"}, env);
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_THAT(r.out, HasSubstr("\nSetRange 300             \n"));
  std::string wire = readFile(trace);
  EXPECT_THAT(wire, HasSubstr("> sim0 38 24 01 01 0b 1e 00 18 2c"));     // 300 -> 44
  EXPECT_THAT(wire, HasSubstr("> sim0 38 24 01 01 0b 1e 00 12 00 00"));  // empty text -> 0
}

TEST(Qx5cmdOnSimulator, InterruptDuringWaitEndsWithinASecondAndPrintsStatistics) {
  REQUIRE_GAUGE_LOOP_EXPORTS();
  ProcessResult r =
      qx5cmd({"-s", "-d=0", "Wait", "100"}, simulated("1"), SIGINT, "sleeping 100 seconds\n");
  EXPECT_EQ(r.exitStatus, 0);
  EXPECT_LT(r.afterSignal, 2.0);
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
}

TEST(Qx5cmdOnSimulator, StopOnFailureWithAGaugeThatStopsAnswering) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetPressure");
  TempDir dir;
  // Find a packet budget that lets the first loop select the gauge and then fail its test.
  for (int packets = 1; packets <= 40; ++packets) {
    writeFile(dir.path() / "a.gauge",
              "serial = 777\nfault = unplug-after=" + std::to_string(packets) + "\n");
    ProcessResult without = qx5cmd({"-d=0", "-n=2", "GetPressure"}, simulated(dir.path()));
    bool failedFirstLoop =
        without.out.find("1 Gauge#                 777\n") != std::string::npos &&
        without.out.find("1 GetPressure") == std::string::npos;
    if (!failedFirstLoop) continue;
    EXPECT_THAT(without.out, HasSubstr("2 Number of Gauges"));
    ProcessResult with = qx5cmd({"-d=0", "-n=2", "-x", "GetPressure"}, simulated(dir.path()));
    EXPECT_THAT(with.out, HasSubstr("1 Gauge#                 777\n"));
    EXPECT_THAT(with.out, Not(HasSubstr("2 Number of Gauges")));
    return;
  }
  ADD_FAILURE() << "no unplug-after value failed the gauge between selection and its test";
}

// The station loop runs when a station test asks for it; here it is driven directly, in a
// child process that loads the library, while the test plugs gauges in and out.
TEST(Qx5cmdOnSimulator, StationLoopFollowsGaugesPluggedInAndOut) {
  REQUIRE_GAUGE_LOOP_EXPORTS("GetQX5FirmwareVersion");
  TempDir dir;
  writeFile(dir.path() / "a.gauge", "serial = 20001\n");
  static fs::path folder;
  folder = dir.path();
  static std::string library;
  library = qx5::test::privateLibrary();
  ProcessOptions options;
  options.environment = {{"QX5SIM", dir.path().string()}};
  ProcessResult r = testing::runInChild(
      [] {
        static LibraryBinding binding(library);
        if (!binding.loaded()) return 2;
        session().binding = &binding;
        session().options.delayMs = 1;
        session().stationMode = true;
        session().sleep = [](int) {
          static int poll = 0;
          switch (poll++) {
            case 0:
              std::ofstream(folder / "b.gauge") << "serial = 20002\n";
              break;
            case 1:
              fs::remove(folder / "a.gauge");
              break;
            default:
              requestBreak();
          }
        };
        RunList none;
        stationLoop(none);
        return 0;
      },
      options);
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_THAT(r.out, StartsWith("waiting for gauges\nfound gauge  20001    \n"));
  EXPECT_THAT(r.out, HasSubstr("* gauge  20001 firmware: "));
  EXPECT_THAT(r.out, HasSubstr("found gauge  20002    \n"));
  EXPECT_THAT(r.out, HasSubstr("gauge  20001 removed    \n"));
  EXPECT_THAT(r.out, HasSubstr("*\n* waiting for new gauges...\n"));
}

}  // namespace
}  // namespace qx5cmd
