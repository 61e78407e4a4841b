// Rounds of QX5GaugeGetPressure over 16 simulated gauges whose bus frame is 1 ms
// (QX5SIM_LATENCY_MS, 1 unless set): one thread reading the gauges in turn, against a thread per
// gauge on the gauge's own handle. QX5SIM_BUS=shared puts all gauges on one full-speed bus, as
// behind one hub. Target: the thread per gauge makes at least 12 times the rounds per second.
#include <benchmark/benchmark.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "BenchSupport.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5dll.h"

namespace {

constexpr int kGauges = 16;

struct Gauges {
  Gauges()
      : library("parallel-gauges-bench",
                [] { return qx5::sim::createSimulatedPlatform(std::to_string(kGauges)); }) {
    for (int i = 0; i < kGauges; ++i) handles[i] = QX5GaugeOpen(i);
  }
  bool ok() const {
    for (std::int32_t handle : handles)
      if (handle <= 0) return false;
    return library.gauges == kGauges;
  }
  qx5::bench::BenchLibrary library;
  std::array<std::int32_t, kGauges> handles{};
};

// Made by the first benchmark thread, the others waiting; kept until the process ends.
Gauges& gauges() {
  static Gauges* made = new Gauges;
  return *made;
}

// Rounds as a rate over the run's real time, summed over the threads that each did a share.
void countRounds(benchmark::State& state, double rounds) {
  state.counters["rounds"] = benchmark::Counter(rounds, benchmark::Counter::kIsRate);
}

void BM_OneThreadReadsEveryGaugeInTurn(benchmark::State& state) {
  Gauges& g = gauges();
  if (!g.ok()) state.SkipWithError("the 16 simulated gauges did not open");
  float a = 0, b = 0;
  bool ok = true;
  for (auto _ : state)
    for (std::int32_t handle : g.handles) ok &= QX5GaugeGetPressure(handle, &a, &b);
  if (!ok) state.SkipWithError("a reading failed");
  countRounds(state, static_cast<double>(state.iterations()));
}

void BM_ThreadPerGauge(benchmark::State& state) {
  Gauges& g = gauges();
  if (!g.ok()) state.SkipWithError("the 16 simulated gauges did not open");
  const std::int32_t handle = g.handles[static_cast<std::size_t>(state.thread_index())];
  float a = 0, b = 0;
  bool ok = true;
  for (auto _ : state) ok &= QX5GaugeGetPressure(handle, &a, &b);
  if (!ok) state.SkipWithError("a reading failed");
  countRounds(state, static_cast<double>(state.iterations()) / kGauges);
}

BENCHMARK(BM_OneThreadReadsEveryGaugeInTurn)->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ThreadPerGauge)->Threads(kGauges)->UseRealTime()->Unit(benchmark::kMillisecond);

class RoundsReporter : public benchmark::ConsoleReporter {
 public:
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      const auto rounds = run.counters.find("rounds");
      if (run.run_type == Run::RT_Iteration && rounds != run.counters.end())
        rates_.push_back(rounds->second.value);
    }
  }
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (rates_.size() != 2) return;  // a filtered or repeated run
    const char* bus = std::getenv("QX5SIM_BUS");
    std::printf(
        "\n%d gauges, bus frame %s ms, %s: %.1f rounds/s in turn, %.1f with a thread per "
        "gauge: x%.1f (target: at least x12)\n",
        kGauges, std::getenv("QX5SIM_LATENCY_MS"), bus && *bus ? bus : "a bus per gauge", rates_[0],
        rates_[1], rates_[0] > 0 ? rates_[1] / rates_[0] : 0.0);
  }

 private:
  std::vector<double> rates_;
};

}  // namespace

int main(int argc, char** argv) {
  setenv("QX5SIM_LATENCY_MS", "1", 0);  // unless the caller chose a frame
  RoundsReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
