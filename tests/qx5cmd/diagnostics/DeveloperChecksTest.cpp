// The developer tests in isolation: request and reply layouts, the bounded device walk, line
// numbering across loops and argument handling, on the stand-in library.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>

#include "qx5cmd/core/CommandLine.h"
#include "qx5cmd/diagnostics/CheckRanges.h"
#include "qx5cmd/diagnostics/FirmwareCounters.h"
#include "qx5cmd/diagnostics/Registration.h"
#include "qx5cmd/diagnostics/SigFigCheck.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

using ::testing::HasSubstr;
using ::testing::StartsWith;

TEST(SigFigTable, RequestLayoutAndBoundedReply) {
  const auto request = sigFigRequest(333.333f, 0.01f, 2);
  ASSERT_EQ(request.size(), 28u);
  float value = 0, step = 0;
  std::memcpy(&value, request.data(), 4);
  std::memcpy(&step, request.data() + 4, 4);
  EXPECT_EQ(value, 333.333f);
  EXPECT_EQ(step, 0.01f);
  EXPECT_EQ(request[8], 2);
  EXPECT_EQ(request[9], 0x01);
  EXPECT_EQ(request[10], 0x08);
  EXPECT_TRUE(std::all_of(request.begin() + 11, request.end(), [](auto b) { return b == 0; }));

  FirmwareTestOutput output{};
  std::memcpy(output.data() + 11, "   333.5", 9);
  EXPECT_EQ(sigFigReply(output), "   333.5");
  // A reply without its zero is read to the end of the buffer and no further.
  output.fill('7');
  EXPECT_EQ(sigFigReply(output), std::string(kFirmwareTestOutputSize - 11, '7'));
}

TEST(SigFigTable, OneMismatchFailsTheRow) {
  const auto& table = sigFigTable();
  ASSERT_EQ(table.size(), 33u);
  const std::string line = sigFigLine(7, table[0], {"     335", "     333", "     333"});
  EXPECT_THAT(line, StartsWith("TEST7,    333.333,       0.01, "));
  EXPECT_THAT(line, HasSubstr("\"   333.5\", \"     333\", Failed\n"));
}

TEST(FirmwareCounters, ZeroCountersAreLeftOutAndDifferencesWrap) {
  FirmwareTestOutput output{};
  output[0] = 3;                         // keypad_delay_needed  0
  output[24] = 0x34, output[25] = 0x12;  // system_counter
  const CounterBlock first = decodeCounters(output);
  EXPECT_EQ(nonZeroCounters(first), "keypad_delay_needed  0 = 3\nsystem_counter = 4660\n");
  CounterBlock later = first;
  later[12] = 0x0010;  // wrapped past 65535
  later[9] = 250;
  EXPECT_EQ(nonZeroCounters(counterDifferences(first, later)),
            "atod_updates = 250\nsystem_counter = 60892\n");
  EXPECT_EQ(nonZeroCounters(counterDifferences(first, first)), "");
}

// A gauge of devices, each with its ranges; `cycle` false makes one that never returns to its
// first entry.
struct ScriptedGauge {
  std::vector<std::vector<std::string>> devices;
  bool devicesCycle = true, rangesCycle = true;
  std::size_t device = 0, range = 0, presses = 0;

  RangeWalkGauge walker() {
    return {[this] { return name(); }, [this] { return std::string("list"); },
            [this] { return rangeName(); }, [this](int button) { press(button); }};
  }
  void press(int button) {
    ++presses;
    if (button == kDeviceButton) {
      device = devicesCycle ? (device + 1) % devices.size() : device + 1;
      range = 0;
    } else if (button == kRangeButton) {
      range = rangesCycle ? (range + 1) % ranges().size() : range + 1;
    }
  }
  const std::vector<std::string>& ranges() { return devices[device % devices.size()]; }
  std::string name() { return "device " + std::to_string(device); }
  std::string rangeName() { return "range " + std::to_string(range); }
};

std::string walk(ScriptedGauge& gauge, bool& ok) {
  ::testing::internal::CaptureStdout();
  ok = walkDevicesAndRanges(gauge.walker());
  return ::testing::internal::GetCapturedStdout();
}

TEST(CheckRanges, ListsEveryDeviceAndRangeOnce) {
  ScriptedGauge one{{{"only"}}};
  bool ok = false;
  EXPECT_EQ(walk(one, ok), "device = \"device 0\"\nranges = \"list\"\nrange = \"range 0\"\n");
  EXPECT_TRUE(ok);

  ScriptedGauge two{{{"a", "b"}, {"c", "d", "e"}}};
  const std::string out = walk(two, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2 * 2 + 5);
  EXPECT_THAT(out, HasSubstr("device = \"device 1\"\nranges = \"list\"\nrange = \"range 0\"\n"
                             "range = \"range 1\"\nrange = \"range 2\"\n"));
  EXPECT_EQ(two.device, 0u) << "left on the first device";
}

TEST(CheckRanges, ListsThatNeverComeBackStopAtTheBound) {
  ScriptedGauge endlessRanges{{{"a"}}};
  endlessRanges.rangesCycle = false;
  bool ok = true;
  std::string out = walk(endlessRanges, ok);
  EXPECT_FALSE(ok);
  EXPECT_THAT(out, HasSubstr("range = \"range 63\"\nstopped after 64 ranges: the range never "
                             "came back to \"range 0\"\n"));
  EXPECT_EQ(endlessRanges.presses, 64u);

  ScriptedGauge endlessDevices{{{"a"}}};
  endlessDevices.devicesCycle = false;
  out = walk(endlessDevices, ok);
  EXPECT_FALSE(ok);
  EXPECT_THAT(out, HasSubstr("stopped after 64 devices: the device never came back to "
                             "\"device 0\"\n"));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 64 * 3 + 1);
}

TEST(CheckRanges, BreakEndsTheWalk) {
  ScriptedGauge gauge{{{"a", "b"}, {"c"}}};
  requestBreak();
  bool ok = true;
  EXPECT_EQ(walk(gauge, ok), "device = \"device 0\"\nranges = \"list\"\nrange = \"range 0\"\n");
  EXPECT_FALSE(ok);
  clearBreakRequest();
}

class DiagnosticsOnTheStandIn : public testing::FakeSessionTest {
 protected:
  void SetUp() override {
    FakeSessionTest::SetUp();
    clearBreakRequest();
    registerDiagnosticTests(registry);
  }
  std::optional<int> parse(std::vector<std::string> words) {
    words.insert(words.begin(), "qx5cmd");
    runList.clear();
    ::testing::internal::CaptureStderr();
    auto status = parseCommandLine(words, registry, session(), runList);
    for (auto& test : runList) test->prepare();
    errors = ::testing::internal::GetCapturedStderr();
    return status;
  }
  std::string runAll(bool expected = true) {
    ::testing::internal::CaptureStdout();
    for (auto& test : runList) EXPECT_EQ(test->bound && test->run(), expected) << test->name;
    return ::testing::internal::GetCapturedStdout();
  }

  TestRegistry registry;
  RunList runList;
  std::string errors;
};

TEST_F(DiagnosticsOnTheStandIn, SigFigLinesAreNumberedOnAcrossRuns) {
  sigFigLineCounter() = 0;
  ASSERT_FALSE(parse({"get_sig_fig", "get_sig_fig"}).has_value());
  const std::string out = runAll();
  EXPECT_THAT(out, StartsWith("TEST#, value, roundto, expected (SF=2.5), actual (SF=2.5), "));
  EXPECT_THAT(out, HasSubstr("\nTEST33,  -6.66e-05,      1e-06, \"-0.00007\", \"\", "));
  EXPECT_THAT(out, HasSubstr("\nTEST34,    333.333, "));
  EXPECT_THAT(out, HasSubstr("\nTEST66, "));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 2 * 34);
  std::size_t failed = 0;
  for (auto at = out.find(", Failed\n"); at != std::string::npos;
       at = out.find(", Failed\n", at + 1))
    ++failed;
  EXPECT_EQ(failed, 66u) << "the stand-in answers no text";
}

TEST_F(DiagnosticsOnTheStandIn, DisplayMessageWantsTwoTextsAndFixDatesSetsTheFixedValues) {
  EXPECT_TRUE(parse({"display_message", "only one"}).has_value());
  EXPECT_THAT(errors, StartsWith(" invalid argument to test display_message\n"));
  EXPECT_TRUE(parse({"display_message", "", "second"}).has_value());

  ASSERT_FALSE(parse({"display_message", "Hello", std::string(35, 'x'), "fix_dates"}));
  ASSERT_EQ(runList.size(), 2u);
  EXPECT_EQ(runList[0]->displayName, "display_message Hello " + std::string(35, 'x'));
  EXPECT_EQ(runAll(), "line 2 cut to 29 characters: \"" + std::string(29, 'x') + "\"\n");
  EXPECT_EQ(fake_.takeCalls(),
            "RunTest 5\nRunTest 5\nSetCustomDate 2001 2 28\nSetSerialNumber 234567\n");
}

TEST_F(DiagnosticsOnTheStandIn, WatchdogSleepsEachDelayInSlices) {
  ASSERT_FALSE(parse({"watchdog"}));
  const std::string out = runAll();
  EXPECT_THAT(out, StartsWith("testing a delay of 100ms\ntesting a delay of 200ms\n"));
  EXPECT_THAT(out, HasSubstr("testing a delay of 9900ms\n"));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 99);
  EXPECT_EQ(*std::max_element(sleeps().begin(), sleeps().end()), 1000);
  long total = 0;
  for (int ms : sleeps()) total += ms;
  EXPECT_EQ(total, 99L * 5000);
}

TEST_F(DiagnosticsOnTheStandIn, TestsWithoutTheirExportsAreNotRun) {
  LibraryBinding partial(testing::fakeLibraryPath());
  partial.RunTest.reset();
  partial.PushButton.reset();
  session().binding = &partial;
  ASSERT_FALSE(parse({"get_sizes", "check_ranges", "watchdog"}));
  for (const auto& test : runList) EXPECT_FALSE(test->bound) << test->name;
  EXPECT_THAT(errors, HasSubstr(" can't find function RunTest in QX5DLL.DLL"));
  EXPECT_THAT(errors, HasSubstr(" can't find function PushButton in QX5DLL.DLL"));
}

}  // namespace
}  // namespace qx5cmd
