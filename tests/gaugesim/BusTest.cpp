// The simulated gauges' buses: a bus of its own for every gauge, or one shared full-speed bus;
// and transfers on different gauges from different threads at once. scripts/test.sh also runs
// the threads suite under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <thread>
#include <vector>

#include "SimHarness.h"

namespace qx5::sim::testing {
namespace {

using std::chrono::milliseconds;

// Time stands still and every sleep is noted instead: a sleep's end is when the bus let the
// transfer end, however many transfers were asked for at the same moment.
class FrozenClock final : public platform::Clock {
 public:
  TimePoint now() override { return kNow + moved; }
  void sleepUntil(TimePoint until) override { wakeUps.push_back(until - kNow); }
  bool isVirtual() const override { return true; }

  static constexpr TimePoint kNow{std::chrono::hours(1)};
  std::vector<std::chrono::nanoseconds> wakeUps;
  std::chrono::nanoseconds moved{0};  // set by the test alone
};

// Writes one packet to each gauge (no reads: a frozen clock never lets a reply come due).
std::vector<std::chrono::nanoseconds> writeToEach(int gauges, bool sharedBus,
                                                  std::uint32_t latencyMs) {
  FrozenClock clock;
  SimulationOptions options{"", latencyMs, &clock};
  options.sharedBus = sharedBus;
  SimulatedUsbPlatform platform(countedEnvironment(gauges, &clock), options);
  std::vector<OpenGauge> open;
  for (const std::string& path : enumerate(platform)) open.emplace_back(platform, path);
  for (OpenGauge& gauge : open) EXPECT_TRUE(gauge.write(command(30)));
  return clock.wakeUps;
}

TEST(SimulatedBuses, EveryGaugeHasABusOfItsOwn) {
  const auto wakeUps = writeToEach(2, false, 1);
  EXPECT_EQ(wakeUps, (std::vector<std::chrono::nanoseconds>{milliseconds(1), milliseconds(1)}))
      << "transfers on two gauges in one frame both end with it";

  FrozenClock clock;
  SimulatedUsbPlatform platform(countedEnvironment(1, &clock), {"", 1, &clock});
  OpenGauge gauge(platform, enumerate(platform).at(0));
  ASSERT_TRUE(gauge.write(command(30)));
  ASSERT_TRUE(gauge.write(command(30)));
  EXPECT_EQ(clock.wakeUps,
            (std::vector<std::chrono::nanoseconds>{milliseconds(1), milliseconds(2)}))
      << "one gauge's bus carries one transfer a frame";
}

TEST(SimulatedBuses, TheGaugesBusesShareTheirFrameTiming) {
  FrozenClock clock;
  SimulatedUsbPlatform platform(countedEnvironment(2, &clock), {"", 1, &clock});
  const auto paths = enumerate(platform);
  OpenGauge first(platform, paths.at(0)), second(platform, paths.at(1));
  ASSERT_TRUE(first.write(command(30)));
  clock.moved = std::chrono::microseconds(1500);
  ASSERT_TRUE(second.write(command(30)));
  EXPECT_EQ(clock.wakeUps,
            (std::vector<std::chrono::nanoseconds>{milliseconds(1), milliseconds(2)}))
      << "the second gauge's transfer ends with the frame the first one's started";
}

TEST(SimulatedBuses, ASharedBusCarries19TransfersAFrame) {
  const auto wakeUps = writeToEach(20, true, 0);
  ASSERT_EQ(wakeUps.size(), 20u);
  for (int i = 0; i < 19; ++i) EXPECT_EQ(wakeUps[i], milliseconds(1)) << "transfer " << i;
  EXPECT_EQ(wakeUps[19], milliseconds(2)) << "the 20th spills into the next frame";

  EXPECT_EQ(writeToEach(20, true, 3).back(), milliseconds(6)) << "frames of QX5SIM_LATENCY_MS";
}

// Sixteen threads exchange packets with sixteen gauges while another enumerates again and
// again: every reply is its own gauge's.
TEST(SimulatedPlatformThreads, GaugesAnswerTheirOwnThreadsWhileTheBusIsListed) {
  constexpr int kGauges = 16;
  CountedGauges gauges(kGauges);
  std::vector<OpenGauge> open;
  for (int i = 0; i < kGauges; ++i) open.push_back(gauges.open(i));
  std::atomic<int> wrong{0};
  std::atomic<bool> done{false};
  std::vector<std::thread> threads;
  for (int i = 0; i < kGauges; ++i)
    threads.emplace_back([&, i] {
      for (int call = 0; call < 50; ++call) {
        const Bytes reply = open[i].exchange(command(30));  // the serial number
        const int serial = reply.size() == 64 ? reply[8] | reply[9] << 8 : -1;
        if (serial != Environment::kFirstSerial + i) ++wrong;
      }
    });
  std::thread lister([&] {
    while (!done) enumerate(gauges.platform);
  });
  for (auto& thread : threads) thread.join();
  done = true;
  lister.join();
  EXPECT_EQ(wrong.load(), 0);
}

}  // namespace
}  // namespace qx5::sim::testing
