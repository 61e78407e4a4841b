// Sixteen simulated gauges at 1 ms a transfer, straight on the simulated USB platform: one thread
// reading them all in turn, against a thread per gauge on buses of their own and on one shared
// full-speed bus. With buses of their own the threads should take the time one gauge does.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <thread>
#include <vector>

#include "BenchSupport.h"
#include "gaugesim/files/Environment.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"

namespace {

using qx5::sim::SimulatedUsbPlatform;

constexpr int kGauges = 16;
constexpr int kRounds = 20;  // exchanges with every gauge per iteration

// The gauges, opened as the transport opens them.
class Bench {
 public:
  explicit Bench(bool sharedBus) {
    qx5::sim::SimulationOptions options;
    options.latencyMs = 1;
    options.sharedBus = sharedBus;
    platform_ = std::make_unique<SimulatedUsbPlatform>(
        std::make_unique<qx5::sim::Environment>(kGauges), options);
    platform_->beginEnumeration();
    std::string path;
    for (std::uint32_t i = 0; platform_->interfacePath(i, path); ++i) {
      qx5::InterfaceHandle iface = 0;
      platform_->initialize(platform_->openDevice(path), iface);
      ifaces_.push_back(iface);
    }
    platform_->endEnumeration();
  }
  bool ready() const { return ifaces_.size() == kGauges; }

  // Serial number request and reply.
  bool exchange(int gauge) {
    const auto request = qx5::bench::commandPacket(30);
    std::uint8_t reply[64];
    std::uint32_t count = 0;
    return platform_->writePipe(ifaces_[gauge], 0x01, request.data(), 36, count) &&
           platform_->readPipe(ifaces_[gauge], 0x81, reply, sizeof reply, count);
  }

 private:
  std::unique_ptr<SimulatedUsbPlatform> platform_;
  std::vector<qx5::InterfaceHandle> ifaces_;
};

void BM_OneThreadInTurn(benchmark::State& state) {
  Bench bench(false);
  if (!bench.ready()) return state.SkipWithError("no simulated gauges");
  for (auto _ : state)
    for (int round = 0; round < kRounds; ++round)
      for (int gauge = 0; gauge < kGauges; ++gauge)
        if (!bench.exchange(gauge)) return state.SkipWithError("exchange failed");
}

void threadPerGauge(benchmark::State& state, bool sharedBus) {
  Bench bench(sharedBus);
  if (!bench.ready()) return state.SkipWithError("no simulated gauges");
  for (auto _ : state) {
    std::vector<std::thread> threads;
    for (int gauge = 0; gauge < kGauges; ++gauge)
      threads.emplace_back([&bench, gauge] {
        for (int round = 0; round < kRounds; ++round) bench.exchange(gauge);
      });
    for (auto& thread : threads) thread.join();
  }
}
void BM_ThreadPerGaugeOwnBuses(benchmark::State& state) { threadPerGauge(state, false); }
void BM_ThreadPerGaugeSharedBus(benchmark::State& state) { threadPerGauge(state, true); }

BENCHMARK(BM_OneThreadInTurn)->Unit(benchmark::kMillisecond)->Iterations(2)->UseRealTime();
BENCHMARK(BM_ThreadPerGaugeOwnBuses)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();
BENCHMARK(BM_ThreadPerGaugeSharedBus)->Unit(benchmark::kMillisecond)->Iterations(5)->UseRealTime();

class BusReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 3) return;
    const double inTurn = times_[0].second;
    std::printf(
        "\n%d gauges x %d rounds at 1 ms a transfer, against one thread in turn:\n"
        "  a thread per gauge, buses of their own: %.1fx\n"
        "  a thread per gauge, one shared bus:     %.1fx\n",
        kGauges, kRounds, inTurn / times_[1].second, inTurn / times_[2].second);
  }
};

}  // namespace

int main(int argc, char** argv) {
  BusReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
