#include "qx5cmd/core/Stats.h"

#include <gtest/gtest.h>

namespace qx5cmd {
namespace {

// Counter ticks in microseconds keeps the samples readable.
constexpr std::int64_t kMs = 1000;

class StatsTest : public ::testing::Test {
 protected:
  StatsRegistry registry{1000000};

  void sample(StatsTimes& t, std::int64_t ticks) {
    t.startAt(1);
    t.stopAt(1 + ticks);
  }
};

TEST_F(StatsTest, ThreeCallsOfTwoThreeFourMillisecondsPrintInMilliseconds) {
  StatsTimes& t = registry.times("GetPressure");
  for (std::int64_t ms : {2, 3, 4}) sample(t, ms * kMs);
  EXPECT_EQ(t.print(),
            "GetPressure                     num (3) min 2.00, avg 3.00, max 4.00 milliseconds");
}

TEST_F(StatsTest, UnitAndFormatFollowTheAverage) {
  StatsTimes& total = registry.times("TotalTestTime");
  sample(total, 90 * 1000 * kMs);
  EXPECT_EQ(total.print(), "TotalTestTime                     1.50 minutes");

  StatsTimes& minute = registry.times("exactly a minute");
  sample(minute, 60 * 1000 * kMs);  // the comparisons are strict: still seconds
  EXPECT_EQ(minute.print(), "exactly a minute                  60.0 seconds");

  StatsTimes& tiny = registry.times("tiny");
  sample(tiny, 250);
  EXPECT_EQ(tiny.print(), "tiny                               250 microseconds");

  StatsTimes& hours = registry.times("long");
  sample(hours, 7200LL * 1000 * kMs);
  EXPECT_EQ(hours.print(), "long                              2.00 hours");

  // min and max share the unit and format of the average
  StatsTimes& mixed = registry.times("mixed");
  sample(mixed, 500);    // 0.5 ms
  sample(mixed, 29500);  // 29.5 ms: average 15 ms -> "%0.1f"
  EXPECT_EQ(mixed.print(),
            "mixed                           num (2) min 0.5, avg 15.0, max 29.5 milliseconds");
}

TEST_F(StatsTest, MinAndMaxTrackEverySample) {
  StatsTimes& t = registry.times("t");
  for (std::int64_t ms : {5, 2, 9, 7}) sample(t, ms * kMs);
  EXPECT_EQ(t.count(), 4);
  EXPECT_EQ(t.min(), 2 * kMs);
  EXPECT_EQ(t.max(), 9 * kMs);
  EXPECT_EQ(t.total(), 23 * kMs);
}

TEST_F(StatsTest, StopWithoutStartRecordsNothingAndStartsAreOverwritten) {
  StatsTimes& t = registry.times("t");
  t.stopAt(500);
  EXPECT_EQ(t.count(), 0);
  t.startAt(100);
  t.startAt(400);  // only the latest measurement is in progress
  t.stopAt(1400);
  EXPECT_EQ(t.total(), 1000);
  t.startAt(10);
  t.clear();
  t.stopAt(20);
  EXPECT_EQ(t.count(), 1);
}

TEST_F(StatsTest, RunningTimingShowsTheTimeSinceItsStart) {
  StatsTimes& t = registry.times("GetFlow");
  sample(t, 2 * kMs);
  t.startAt(1000000);
  EXPECT_EQ(t.printAt(1000000 + 3 * 1000 * kMs),
            "GetFlow                           2.00 milliseconds and one started 3.00 seconds ago");
}

TEST_F(StatsTest, ValueLines) {
  StatsValues& one = registry.values("GetFlow.Value");
  one.record(3.25);
  EXPECT_EQ(one.print(), "GetFlow.Value                    3.250");
  StatsValues& many = registry.values("GetPressure.portA");
  for (double v : {1.0, -2.0, 4.0}) many.record(v);
  EXPECT_EQ(many.print(),
            "GetPressure.portA               num (3) min -2.000, avg 1.000, max 4.000");

  StatsIntValues& ints = registry.intValues("a.Value");
  ints.record(1);
  ints.record(2);
  EXPECT_EQ(ints.print(), "a.Value                         num (2) min 1, avg 1.000, max 2");
  StatsIntValues& same = registry.intValues("b.Value");
  same.record(5);
  same.record(5);
  EXPECT_EQ(same.print(), "b.Value                              5");

  StatsStringValues& text = registry.stringValues("GetDLLVersion.LastValue");
  text.record("2.2.0.17");
  EXPECT_EQ(text.print(), "GetDLLVersion.LastValue         2.2.0.17");
  text.record("2.2.0.18");
  EXPECT_EQ(text.print(), "GetDLLVersion.LastValue         num (2) 2.2.0.18");

  EXPECT_EQ(registry.values("never").print(), "no never");
}

TEST_F(StatsTest, IntAverageStaysRightForLargeTotals) {
  StatsIntValues& serials = registry.intValues("GetSerialNumber.Value");
  for (int i = 0; i < 300000; ++i) serials.record(i % 2 ? 10002 : 10001);
  EXPECT_EQ(serials.print(),
            "GetSerialNumber.Value           num (300000) min 10001, avg 10001.000, max 10002");
}

TEST_F(StatsTest, NamesAreFoundWithoutRegardToCasePerKind) {
  StatsTimes& a = registry.times("GetPressure");
  EXPECT_EQ(&a, &registry.times("getpressure"));
  EXPECT_EQ(registry.times("GETPRESSURE").name(), "GetPressure");
  // Kinds keep separate lists
  registry.values("GetPressure").record(1);
  EXPECT_EQ(a.count(), 0);
}

TEST_F(StatsTest, ReportListsTimingsThenValuesInFirstRecordOrder) {
  StatsTimes& created1 = registry.times("first created");
  StatsValues& value = registry.values("v");
  StatsTimes& created2 = registry.times("second created");
  registry.times("never recorded");
  StatsTimes& runningOnly = registry.times("started only");
  value.record(2);
  sample(created2, 2 * kMs);
  sample(created1, 2 * kMs);
  runningOnly.startAt(5);

  EXPECT_EQ(registry.report(),
            "second created                    2.00 milliseconds\n"
            "first created                     2.00 milliseconds\n"
            "\n"
            "v                                2.000\n");
  ASSERT_EQ(registry.printList().size(), 3u);
  EXPECT_EQ(registry.printList()[0], &value);
}

}  // namespace
}  // namespace qx5cmd
