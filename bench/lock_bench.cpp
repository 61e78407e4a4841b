// What the library-wide state lock costs: the lock alone, uncontended; an export that takes the
// lock and touches no gauge (GetMaxRange, logging off); the same with two caller threads. The
// figure to compare is the lock against a one-exchange export (export_bench, tens of ns on the
// simulated pipes, a millisecond or more on a real bus).
#include <benchmark/benchmark.h>

#include <cstdio>

#include "BenchSupport.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5dll.h"

namespace {

void BM_StateLockAlone(benchmark::State& state) {
  for (auto _ : state) {
    const qx5::api::StateLock lock;
    benchmark::ClobberMemory();
  }
}

void BM_LockedExportWithoutExchange(benchmark::State& state) {
  for (auto _ : state) benchmark::DoNotOptimize(GetMaxRange());
}

BENCHMARK(BM_StateLockAlone);
BENCHMARK(BM_LockedExportWithoutExchange);
BENCHMARK(BM_LockedExportWithoutExchange)->Threads(2)->UseRealTime();

class LockReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 3) return;  // a filtered run
    const double lock = times_[0].second, call = times_[1].second;
    std::printf("\nthe lock is %.1f ns, %.0f %% of an export that does not reach the gauge\n", lock,
                call > 0 ? 100.0 * lock / call : 0.0);
  }
};

}  // namespace

int main(int argc, char** argv) {
  LockReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
