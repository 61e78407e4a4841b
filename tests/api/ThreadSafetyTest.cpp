// Several caller threads at once. Every export holds the library-wide lock, so concurrent calls
// never share the packet buffers or interleave packets; the selected gauge is process-wide, so
// threads that talk to different gauges select and call under a lock of their own.
// scripts/test.sh also runs this suite under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <cstring>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

constexpr int kCallsPerThread = 300;

std::string takeText(BSTR text) {
  std::string value = text ? bstrBytes(text) : "(null)";
  SysFreeString(text);
  return value;
}

// Runs each body kCallsPerThread times on a thread of its own; counts answers that were wrong.
// Replies arrive a little late, as over a real bus, so that unserialised calls would overlap.
// The reply yields rather than sleeps: a sleep this short lasts a whole timer tick on some
// systems (Wine), which made the suite take minutes there.
void slowReplies(SimulatedLibrary& sim) {
  sim.editReply = [](Bytes&) {
    const auto until = std::chrono::steady_clock::now() + std::chrono::microseconds(100);
    while (std::chrono::steady_clock::now() < until) std::this_thread::yield();
  };
}

int wrongAnswers(const std::vector<std::function<bool()>>& bodies) {
  std::atomic<int> wrong{0};
  std::atomic<int> waiting{static_cast<int>(bodies.size())};
  std::vector<std::thread> threads;
  for (const auto& body : bodies)
    threads.emplace_back([&wrong, &waiting, &body] {
      // All start together, so the calls overlap however slowly threads are created.
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      for (int i = 0; i < kCallsPerThread; ++i)
        if (!body()) ++wrong;
    });
  for (auto& thread : threads) thread.join();
  return wrong.load();
}

TEST(ThreadSafety, ConcurrentCallsOnOneGaugeEachGetTheirOwnAnswer) {
  SimulatedLibrary sim(1, false);
  ASSERT_TRUE(sim.attach());
  const std::string firmware = takeText(GetQX5FirmwareVersion());
  const std::uint32_t chipset = GetChipset();
  ASSERT_NE(firmware, "---");
  slowReplies(sim);
  EXPECT_EQ(wrongAnswers({
                [] { return GetSerialNumber() == 10001; },
                [&] { return takeText(GetQX5FirmwareVersion()) == firmware; },
                [&] { return GetChipset() == chipset; },
                [] { return takeText(GetDLLVersion()) == "2.2.0.18"; },
            }),
            0);
}

TEST(ThreadSafety, ThreadsSelectingUnderTheirOwnLockReadTheirOwnGauge) {
  SimulatedLibrary sim(3, false);
  ASSERT_TRUE(sim.attach());
  slowReplies(sim);
  std::mutex selection;
  auto readGauge = [&selection](unsigned char index) {
    return [&selection, index] {
      const std::lock_guard<std::mutex> hold(selection);
      return UsbPort(index) && GetSerialNumber() == 10001 + index;
    };
  };
  EXPECT_EQ(wrongAnswers({readGauge(0), readGauge(1), readGauge(2),
                          [] { return takeText(GetDLLVersion()) == "2.2.0.18"; }}),
            0);
}

}  // namespace
}  // namespace qx5::test
