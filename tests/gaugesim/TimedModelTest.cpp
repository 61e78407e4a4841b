// Behaviour over time, on a clock the test moves: fan and room physics, the gauge's own
// pressure controller, the watchdog restart.
#include <cmath>
#include <set>

#include "SimHarness.h"

namespace qx5::sim::testing {
namespace {

class TimedGauge : public ::testing::Test {
 protected:
  Bytes send(const Bytes& packet) {
    Bytes reply(64, 0);
    const std::size_t length = gauge.handle(packet.data(), packet.size(), reply.data(), 64);
    reply.resize(length);
    return reply;
  }
  void advance(double seconds) {
    now +=
        std::chrono::duration_cast<SteadyClock::duration>(std::chrono::duration<double>(seconds));
  }
  float room() { return floatAt(send(command(55)), 8); }
  float fanPressure() { return floatAt(send(command(55)), 12); }
  float fanPercent() { return floatAt(send(command(69)), 8); }

  TimePoint now = SteadyClock::now();
  Gauge gauge{GaugeConfig{}, [this] { return now; }};
};

TEST_F(TimedGauge, OpenLoopFanDrivesBothPortsAndFlowWithALag) {
  Bytes fan = command(18, {{8, 60}});
  send(fan);
  advance(0.2);
  const float early = room();
  advance(15);
  const double expectedFan = 120.0 * 0.6 * 0.6;
  EXPECT_NEAR(fanPressure(), expectedFan, 0.5);
  EXPECT_NEAR(room(), 0.4 * expectedFan, 0.5);
  EXPECT_LT(early, room() / 2) << "room pressure lags the fan";
  EXPECT_GT(floatAt(send(command(35)), 8), 1.0f);
  send(command(40));
  advance(20);
  EXPECT_NEAR(room(), 0.0, 0.2);
  EXPECT_NEAR(floatAt(send(command(35)), 8), 0.0, 0.5);
}

TEST_F(TimedGauge, ControllerSettlesOnTheTargetWithinSecondsAtAFixedPeriod) {
  send(command(17, {{8, 20}}));
  std::set<long> changeTimes;  // in tenths of a second
  float previous = fanPercent();
  for (int tenth = 1; tenth <= 100; ++tenth) {
    advance(0.1);
    const float fan = fanPercent();
    if (fan != previous) changeTimes.insert(tenth);
    previous = fan;
  }
  EXPECT_NEAR(room(), 20.0, 0.5);
  ASSERT_GE(changeTimes.size(), 10u);
  for (long t : changeTimes) EXPECT_EQ(t % 5, 0) << "fan changed between controller periods";
  for (int i = 0; i < 10; ++i) {
    advance(0.5);
    EXPECT_NEAR(room(), 20.0, 0.5) << "stays on target";
  }
  // SetFanSpeed hands control back to the caller.
  send(command(18, {{8, 0}}));
  advance(1.0);
  EXPECT_EQ(fanPercent(), 0.0f);
}

TEST_F(TimedGauge, WatchdogRestartsTheGaugeAfterALongDelay) {
  const Bytes version = command(45);
  ASSERT_FALSE(send(runTestRequest(2, {0x20, 0x03, 0, 0})).empty());  // 800 ms: below
  advance(0.8);
  EXPECT_FALSE(send(version).empty());

  send(command(65, {{8, 11}}));  // unsaved setting, lost by the restart
  ASSERT_FALSE(send(runTestRequest(2, {0xE8, 0x03, 0, 0})).empty());  // 1000 ms: trips
  advance(0.5);
  Response busy = gauge.respond(version.data(), version.size());
  EXPECT_FALSE(busy.replies) << "reply would come after the watchdog fired";
  advance(0.6);
  EXPECT_TRUE(send(version).empty()) << "restarting";
  advance(Gauge::kRestartMs / 1000.0);
  EXPECT_EQ(textOf(send(version)), "3.05");
  EXPECT_EQ(send(command(64)).at(8), Settings().powerDownHour);
  EXPECT_LT(int32At(send(command(70)), 8), 1000) << "tick counter restarted";
}

TEST_F(TimedGauge, ShortDelayHoldsLaterRepliesBack) {
  send(runTestRequest(2, {0x64, 0, 0, 0}));  // 100 ms
  const Bytes query = command(30);
  const Response held = gauge.respond(query.data(), query.size());
  ASSERT_TRUE(held.replies);
  EXPECT_GE(held.readyAt - now, std::chrono::milliseconds(100));
}

}  // namespace
}  // namespace qx5::sim::testing
