// What a twin costs over its legacy export, on one simulated gauge that answers at once with
// logging off: the handle's look-up and the frame that locks its gauge, against the selected
// gauge's frame. Target: a twin at most 50 ns above its export.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "BenchSupport.h"
#include "gaugesim/files/Environment.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5dll.h"

namespace {

struct OneGauge {
  OneGauge()
      : library("twin-overhead-bench",
                [] {
                  return std::make_unique<qx5::sim::SimulatedUsbPlatform>(
                      std::make_unique<qx5::sim::Environment>(1));
                }),
        handle(QX5GaugeOpen(0)) {}
  bool ok() const { return library.gauges == 1 && handle > 0; }
  qx5::bench::BenchLibrary library;
  std::int32_t handle;
};

template <class Call>
void loop(benchmark::State& state, Call call) {
  const qx5::bench::ScopedLog off(qx5::kLogOff, "qx5_twin_bench");
  OneGauge gauge;
  if (!gauge.ok()) state.SkipWithError("no simulated gauge");
  for (auto _ : state) benchmark::DoNotOptimize(call(gauge.handle));
}

bool legacyPressure(std::int32_t) {
  float a, b;
  return GetPressure(&a, &b);
}
bool twinPressure(std::int32_t gauge) {
  float a, b;
  return QX5GaugeGetPressure(gauge, &a, &b);
}

void BM_GetPressure(benchmark::State& s) { loop(s, legacyPressure); }
void BM_QX5GaugeGetPressure(benchmark::State& s) { loop(s, twinPressure); }
void BM_GetSerialNumber(benchmark::State& s) {
  loop(s, [](std::int32_t) { return GetSerialNumber(); });
}
void BM_QX5GaugeGetSerialNumber(benchmark::State& s) { loop(s, QX5GaugeGetSerialNumber); }
void BM_GetMaxRange(benchmark::State& s) {
  loop(s, [](std::int32_t) { return GetMaxRange(); });
}
void BM_QX5GaugeGetMaxRange(benchmark::State& s) { loop(s, QX5GaugeGetMaxRange); }
// Pairs, legacy export first: two exchanges, one, none (the frame alone).
BENCHMARK(BM_GetPressure);
BENCHMARK(BM_QX5GaugeGetPressure);
BENCHMARK(BM_GetSerialNumber);
BENCHMARK(BM_QX5GaugeGetSerialNumber);
BENCHMARK(BM_GetMaxRange);
BENCHMARK(BM_QX5GaugeGetMaxRange);

class TwinReporter : public qx5::bench::TimesReporter {
 public:
  TwinReporter() : TimesReporter(true) {}
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 6) return;  // a filtered run
    std::printf("\nprocessor time per call:\n");
    for (std::size_t i = 0; i + 1 < times_.size(); i += 2) {
      const double over = times_[i + 1].second - times_[i].second;
      std::printf("  %-30s %7.1f ns, %+6.1f ns over %s (%.1f ns)%s\n", times_[i + 1].first.c_str(),
                  times_[i + 1].second, over, times_[i].first.c_str(), times_[i].second,
                  over <= 50 ? "" : "  target: at most +50 ns");
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  TwinReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
