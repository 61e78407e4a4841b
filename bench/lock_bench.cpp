// What the locks around a call cost, logging off: the library's state lock and a gauge's own
// lock alone, uncontended; a handle's look-up in the handle table; the log's device tag, which
// every twin sets; then calls that reach no gauge, so the frame is all they cost: a legacy export
// (GetMaxRange, which remembers its answer) against its twin, and the twin from two threads on
// two gauges, which share no lock but the handle table's. Compare with a one-exchange export
// (export_bench: about a microsecond on the simulated pipes, a millisecond or more on a bus).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>

#include "BenchSupport.h"
#include "gaugesim/files/Environment.h"
#include "qx5_dll/api/GaugeHandles.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5dll.h"

namespace {

// Two simulated gauges, a handle for each; kept until the process ends.
struct TwoGauges {
  TwoGauges()
      : library("lock-bench", [] {
          return std::make_unique<qx5::sim::SimulatedUsbPlatform>(
              std::make_unique<qx5::sim::Environment>(2));
        }) {
    handles[0] = QX5GaugeOpen(0);
    handles[1] = QX5GaugeOpen(1);
  }
  qx5::bench::BenchLibrary library;
  std::int32_t handles[2] = {};
};

TwoGauges& gauges() {
  static TwoGauges* made = new TwoGauges;
  return *made;
}

void BM_StateLockAlone(benchmark::State& state) {
  for (auto _ : state) {
    const qx5::api::StateLock lock;
    benchmark::ClobberMemory();
  }
}

void BM_GaugeLockAlone(benchmark::State& state) {
  qx5::DEVICE_DATA gauge;
  for (auto _ : state) {
    const qx5::DeviceLock lock(gauge);
    benchmark::ClobberMemory();
  }
}

void BM_HandleLookUp(benchmark::State& state) {
  const std::int32_t handle = gauges().handles[0];
  for (auto _ : state) benchmark::DoNotOptimize(qx5::api::findHandle(handle));
}

void BM_LogDeviceTag(benchmark::State& state) {
  for (auto _ : state) qx5::SetLogDeviceTag("[%d,%d]", 0, 10001);
}

void BM_ExportWithoutExchange(benchmark::State& state) {
  gauges();
  for (auto _ : state) benchmark::DoNotOptimize(GetMaxRange());
}

void BM_TwinWithoutExchange(benchmark::State& state) {
  const std::int32_t handle = gauges().handles[state.thread_index() % 2];
  for (auto _ : state) benchmark::DoNotOptimize(QX5GaugeGetMaxRange(handle));
}

BENCHMARK(BM_StateLockAlone);
BENCHMARK(BM_GaugeLockAlone);
BENCHMARK(BM_HandleLookUp);
BENCHMARK(BM_LogDeviceTag);
BENCHMARK(BM_ExportWithoutExchange);
BENCHMARK(BM_TwinWithoutExchange);
BENCHMARK(BM_TwinWithoutExchange)->Threads(2)->UseRealTime();

class LockReporter : public qx5::bench::TimesReporter {
 public:
  LockReporter() : TimesReporter(true) {}
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 7) return;  // a filtered run
    const double parts = times_[1].second + times_[2].second + times_[3].second;
    std::printf(
        "\nprocessor time: a twin's frame adds %.1f ns to a legacy export's; its gauge lock, "
        "handle look-up and device tag alone take %.1f ns\n",
        times_[5].second - times_[4].second, parts);
  }
};

}  // namespace

int main(int argc, char** argv) {
  const qx5::bench::ScopedLog off(qx5::kLogOff, "qx5_lock_bench");
  LockReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
