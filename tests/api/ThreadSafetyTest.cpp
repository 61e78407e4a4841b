// Several caller threads at once. Each gauge has a lock of its own, held for a whole twin call
// and for a legacy call from its first exchange on; the library-wide state has its own lock,
// taken briefly. Calls on different gauges therefore run at once, and these tests check that
// every thread still gets its own gauge's answers while others use the legacy exports,
// enumerate, open and close handles, and lose their gauges. The selected gauge is process-wide,
// so threads that use the legacy exports on different gauges select and call under a lock of
// their own. scripts/test.sh also runs this suite under ThreadSanitizer.
#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

constexpr int kCallsPerThread = 300;
constexpr int kGauges = 16;  // as many as the library lists

std::int32_t serialOf(int index) { return 10001 + index; }

std::string takeText(BSTR text) {
  std::string value = text ? bstrBytes(text) : "(null)";
  SysFreeString(text);
  return value;
}

std::string takeError() { return takeText(GetErrorMessage()); }

// Replies arrive a little late, as over a real bus, so that calls on one gauge that were not
// serialised would overlap. The reply yields rather than sleeps: a sleep this short lasts a
// whole timer tick on some systems (Wine), which made the suite take minutes there.
void slowReplies(SimulatedLibrary& sim) {
  sim.editReply = [](Bytes&) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
    while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
  };
}

// Runs each body kCallsPerThread times (its argument counts the calls) on a thread of its own;
// counts the calls that answered wrongly.
int wrongAnswers(const std::vector<std::function<bool(int)>>& bodies) {
  std::atomic<int> wrong{0};
  std::atomic<int> waiting{static_cast<int>(bodies.size())};
  std::vector<std::thread> threads;
  for (const auto& body : bodies)
    threads.emplace_back([&wrong, &waiting, &body] {
      // All start together, so the calls overlap however slowly threads are created.
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      for (int i = 0; i < kCallsPerThread; ++i)
        if (!body(i)) ++wrong;
    });
  for (auto& thread : threads) thread.join();
  return wrong.load();
}

std::vector<std::int32_t> openAll(int count) {
  std::vector<std::int32_t> handles;
  for (int i = 0; i < count; ++i) handles.push_back(QX5GaugeOpen(i));
  return handles;
}

TEST(ThreadSafety, LegacyExportsAndAHandleOnOneGaugeEachGetTheirOwnAnswer) {
  SimulatedLibrary sim(1, false);
  ASSERT_TRUE(sim.attach());
  const std::string firmware = takeText(GetQX5FirmwareVersion());
  const std::uint32_t chipset = GetChipset();
  ASSERT_NE(firmware, "---");
  const std::int32_t gauge = QX5GaugeOpen(0);
  ASSERT_GT(gauge, 0);
  slowReplies(sim);
  EXPECT_EQ(wrongAnswers({
                [](int) { return GetSerialNumber() == 10001; },
                [&](int) { return takeText(GetQX5FirmwareVersion()) == firmware; },
                [&](int) { return QX5GaugeGetChipset(gauge) == chipset; },
                [&](int) { return takeText(QX5GaugeGetQX5FirmwareVersion(gauge)) == firmware; },
                [](int) { return takeText(GetDLLVersion()) == "2.2.0.18"; },
            }),
            0);
}

TEST(ThreadSafety, SixteenThreadsMixingTwinsAndLegacyExportsEachReadTheirOwnGauge) {
  SimulatedLibrary sim(kGauges, false);
  ASSERT_TRUE(sim.attach());
  const std::vector<std::int32_t> handles = openAll(kGauges);
  for (std::int32_t handle : handles) ASSERT_GT(handle, 0);
  slowReplies(sim);
  std::mutex selection;
  std::vector<std::function<bool(int)>> bodies;
  for (int i = 0; i < kGauges; ++i)
    bodies.push_back([&, i](int call) {
      float a = 0, b = 0;
      switch (call % 4) {
        case 0:
          return QX5GaugeGetSerialNumber(handles[i]) == serialOf(i);
        case 1:
          return QX5GaugeGetPressure(handles[i], &a, &b);
        case 2: {
          const std::lock_guard hold(selection);
          // Now and then one thread enumerates afresh: indices and handles stay as they are.
          if (i == 0 && call % 40 == 2 && GetDeviceCount() != kGauges) return false;
          return UsbPort(static_cast<unsigned char>(i)) && GetSerialNumber() == serialOf(i);
        }
        default:
          return QX5GaugeGetPressureFaster(handles[i], &a, &b);
      }
    });
  EXPECT_EQ(wrongAnswers(bodies), 0);
}

TEST(ThreadSafety, HandlesOpenedAndClosedWhileOthersReadAreRefusedNeverCrossed) {
  constexpr int kShared = 4;
  SimulatedLibrary sim(kShared, false);
  ASSERT_TRUE(sim.attach());
  std::array<std::atomic<std::int32_t>, kShared> current{};  // each gauge's handle of the moment
  for (int i = 0; i < kShared; ++i) current[i] = QX5GaugeOpen(i);
  std::vector<std::function<bool(int)>> bodies;
  for (int i = 0; i < kShared; ++i) {
    // Replaces gauge i's handle, closing the old one while readers may be using it.
    bodies.push_back([&current, i](int) {
      const std::int32_t fresh = QX5GaugeOpen(i);
      return fresh > 0 && QX5GaugeClose(current[i].exchange(fresh));
    });
    // A closed handle is refused (-1), never answered by another gauge.
    for (int reader = 0; reader < 2; ++reader)
      bodies.push_back([&current, i](int) {
        const std::int32_t serial = QX5GaugeGetSerialNumber(current[i].load());
        return serial == serialOf(i) || serial == -1;
      });
  }
  bodies.push_back([](int call) {  // made-up numbers
    return !QX5GaugeClose(0) && !QX5GaugeClose(-call) &&
           QX5GaugeGetSerialNumber(0x7FFF0000 + call) == -1;
  });
  EXPECT_EQ(wrongAnswers(bodies), 0);
}

TEST(ThreadSafety, GaugesUnpluggedMidRunFailAloneWhileTheOthersGoOn) {
  SimulatedLibrary sim;
  auto name = [](int i) { return "g" + std::to_string(100 + i); };
  // Three gauges vanish after some packets; the last one is unplugged by its own thread.
  auto vanishes = [](int i) { return i % 5 == 3; };
  constexpr int kUnplugged = kGauges - 1, kUnplugAt = 50;
  for (int i = 0; i < kGauges; ++i)
    sim.plugIn(name(i), "serial = " + std::to_string(serialOf(i)) +
                            (vanishes(i) ? "\nfault = unplug-after=60" : ""));
  ASSERT_TRUE(sim.attach());
  const std::vector<std::int32_t> handles = openAll(kGauges);
  for (std::int32_t handle : handles) ASSERT_GT(handle, 0);
  std::array<std::atomic<bool>, kGauges> gone{};
  std::vector<std::function<bool(int)>> bodies;
  for (int i = 0; i < kGauges; ++i)
    bodies.push_back([&, i](int call) {
      if (i == kUnplugged && call == kUnplugAt) {
        sim.unplug(name(i));
        GetDeviceCount();  // the enumeration that notices
      }
      const std::int32_t serial = QX5GaugeGetSerialNumber(handles[i]);
      if (serial == -1 && (vanishes(i) || (i == kUnplugged && call >= kUnplugAt))) gone[i] = true;
      // A gauge that has gone stays gone; until then it answers as itself.
      return serial == (gone[i] ? -1 : serialOf(i));
    });
  EXPECT_EQ(wrongAnswers(bodies), 0);
  for (int i = 0; i < kGauges; ++i)
    EXPECT_EQ(gone[i].load(), vanishes(i) || i == kUnplugged) << name(i);
  takeError();
  EXPECT_EQ(QX5GaugeGetSerialNumber(handles[kUnplugged]), -1);
  EXPECT_NE(takeError(), "");
}

}  // namespace
}  // namespace qx5::test
