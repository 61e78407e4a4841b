// What the tester's timing adds to a library call: GetPressure through its timed wrapper versus
// the same export called directly, on a zero-latency simulated gauge. Reports the added share
// as "added_pct" (target: under 5).
//
// Library: $QX5CMD_LIBRARY, else the libqx5dll.so of this build. Until the library exports
// GetPressure, point QX5CMD_LIBRARY at the stand-in built with the tests
// (<build>/fakelib/libfakeqx5.so).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <memory>

#include "qx5cmd/core/ExportTypes.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/platform/Platform.h"

namespace {

using qx5cmd::LibraryBinding;

LibraryBinding* library() {
  static std::unique_ptr<LibraryBinding> binding = [] {
    setenv("QX5SIM", "1", 0);
    setenv("QX5SIM_LATENCY_MS", "0", 0);
    const char* chosen = std::getenv(qx5cmd::kLibraryEnvironmentVariable);
    auto b = std::make_unique<LibraryBinding>(
        chosen && *chosen ? std::string(chosen)
                          : qx5cmd::platform::executableDirectory() + "/../bin/libqx5dll.so");
    if (b->GetDeviceCount && b->UsbPort && b->GetDeviceCount->call() > 0) b->UsbPort->call(0);
    return b;
  }();
  return binding.get();
}

qx5cmd::GetPressureFn directGetPressure() {
  return reinterpret_cast<qx5cmd::GetPressureFn>(library()->symbol("GetPressure"));
}

bool ready(benchmark::State& state) {
  if (library()->GetPressure) return true;
  state.SkipWithError(("no GetPressure in " + library()->path() + " " + library()->loadError() +
                       "; set QX5CMD_LIBRARY")
                          .c_str());
  return false;
}

void BM_GetPressureDirect(benchmark::State& state) {
  if (!ready(state)) return;
  auto fn = directGetPressure();
  float a = 0, b = 0;
  for (auto _ : state) benchmark::DoNotOptimize(fn(&a, &b));
}
BENCHMARK(BM_GetPressureDirect);

void BM_GetPressureTimed(benchmark::State& state) {
  if (!ready(state)) return;
  float a = 0, b = 0;
  for (auto _ : state) benchmark::DoNotOptimize(library()->GetPressure->call(&a, &b));
}
BENCHMARK(BM_GetPressureTimed);

// Both in one run, interleaved in batches so drift hits them alike.
void BM_TimingOverhead(benchmark::State& state) {
  if (!ready(state)) return;
  using Clock = std::chrono::steady_clock;
  auto fn = directGetPressure();
  float a = 0, b = 0;
  constexpr int kBatch = 1000;
  double direct = 0, timed = 0;
  for (auto _ : state) {
    auto t0 = Clock::now();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(fn(&a, &b));
    auto t1 = Clock::now();
    for (int i = 0; i < kBatch; ++i) benchmark::DoNotOptimize(library()->GetPressure->call(&a, &b));
    auto t2 = Clock::now();
    direct += std::chrono::duration<double, std::nano>(t1 - t0).count();
    timed += std::chrono::duration<double, std::nano>(t2 - t1).count();
  }
  double calls = static_cast<double>(state.iterations()) * kBatch;
  state.counters["direct_ns"] = direct / calls;
  state.counters["timed_ns"] = timed / calls;
  state.counters["added_pct"] = direct > 0 ? (timed - direct) / direct * 100.0 : 0.0;
}
BENCHMARK(BM_TimingOverhead);

}  // namespace

BENCHMARK_MAIN();
