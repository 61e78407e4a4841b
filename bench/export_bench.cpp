// Calls per second of the pressure exports against a simulated gauge that answers at once, with
// logging off and with a level 9 trace to a file. Baselines in the same run: the same loop on
// the simulated gauge's model directly (Gauge::handle) and on the simulated USB pipes, so the
// library's own cost per exchange is the difference to the pipes (target: under 1 us with
// logging off).
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "gaugesim/files/Environment.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5dll.h"

namespace {

using qx5::bench::Packet;

Packet command(std::uint8_t code, std::uint8_t port = 0) {
  Packet p = qx5::bench::commandPacket(code);
  p[16] = port;
  return p;
}

// The library with one fresh simulated gauge, counted and selected.
class SimulatedGaugeLibrary {
 public:
  SimulatedGaugeLibrary() {
    qx5::setGuardedFileName("export-bench-no-such-library");
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory([this] {
      auto made = std::make_unique<qx5::sim::SimulatedUsbPlatform>(
          std::make_unique<qx5::sim::Environment>(1));
      platform = made.get();
      return made;
    });
    ok = GetDeviceCount() == 1 && UsbPort(0);
  }
  ~SimulatedGaugeLibrary() {
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory(nullptr);
    qx5::setGuardedFileName("");
  }
  qx5::sim::SimulatedUsbPlatform* platform = nullptr;
  bool ok = false;
};

// The exchanges of one export call, made on the gauge's model.
void modelLoop(benchmark::State& state, const std::vector<Packet>& packets) {
  qx5::sim::Gauge gauge(qx5::sim::GaugeConfig{});
  Packet reply{};
  for (auto _ : state)
    for (const Packet& packet : packets)
      benchmark::DoNotOptimize(gauge.handle(packet.data(), 36, reply.data(), reply.size()));
}

// The same exchanges through the simulated USB pipes, as the library's transport makes them.
void pipeLoop(benchmark::State& state, const std::vector<Packet>& packets) {
  SimulatedGaugeLibrary library;
  qx5::sim::SimulatedUsbPlatform& usb = *library.platform;
  std::string path;
  usb.beginEnumeration();
  usb.interfacePath(0, path);
  usb.endEnumeration();
  qx5::InterfaceHandle iface = 0;
  usb.initialize(usb.openDevice(path), iface);
  Packet reply{};
  for (auto _ : state)
    for (const Packet& packet : packets) {
      std::uint32_t written = 0, received = 0;
      usb.writePipe(iface, qx5::sim::kOutPipe, packet.data(), 36, written);
      usb.readPipe(iface, qx5::sim::kInPipe, reply.data(), reply.size(), received);
      benchmark::DoNotOptimize(reply.data());
    }
}

template <class Call>
void exportLoop(benchmark::State& state, int level, Call call) {
  qx5::bench::ScopedLog log(level, "qx5_export_bench");
  SimulatedGaugeLibrary library;
  if (!library.ok) state.SkipWithError("no simulated gauge");
  call();  // first calls are traced in full; measure later ones
  for (auto _ : state) benchmark::DoNotOptimize(call());
}

bool faster() {
  float a, b;
  return GetPressureFaster(&a, &b);
}
bool paired() {
  float a, b;
  return GetPressure(&a, &b);
}

const std::vector<Packet> kFaster = {command(55)};
const std::vector<Packet> kPaired = {command(0, 0), command(0, 1)};

void BM_ModelFaster(benchmark::State& s) { modelLoop(s, kFaster); }
void BM_PipesFaster(benchmark::State& s) { pipeLoop(s, kFaster); }
void BM_GetPressureFasterLogOff(benchmark::State& s) { exportLoop(s, qx5::kLogOff, faster); }
void BM_GetPressureFasterLevel9(benchmark::State& s) { exportLoop(s, qx5::kLogTrace, faster); }
void BM_ModelPaired(benchmark::State& s) { modelLoop(s, kPaired); }
void BM_PipesPaired(benchmark::State& s) { pipeLoop(s, kPaired); }
void BM_GetPressureLogOff(benchmark::State& s) { exportLoop(s, qx5::kLogOff, paired); }
void BM_GetPressureLevel9(benchmark::State& s) { exportLoop(s, qx5::kLogTrace, paired); }
BENCHMARK(BM_ModelFaster);
BENCHMARK(BM_PipesFaster);
BENCHMARK(BM_GetPressureFasterLogOff);
BENCHMARK(BM_GetPressureFasterLevel9);
BENCHMARK(BM_ModelPaired);
BENCHMARK(BM_PipesPaired);
BENCHMARK(BM_GetPressureLogOff);
BENCHMARK(BM_GetPressureLevel9);

// Console output, then per group (faster: 1 exchange per call, paired: 2) calls per second,
// the ratio to the model, and what the library adds per exchange over the simulated pipes.
class ExportReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 8) return;  // a filtered run: no groups to compare
    // Four runs per group, in registration order: model, pipes, logging off, level 9.
    for (std::size_t group = 0; group + 4 <= times_.size(); group += 4) {
      const int exchanges = group == 0 ? 1 : 2;
      const double model = times_[group].second, pipes = times_[group + 1].second;
      std::printf("\n%d exchange(s) per call; ratio to %s (%.1f ns):\n", exchanges,
                  times_[group].first.c_str(), model);
      for (std::size_t i = group; i < group + 4; ++i) {
        const auto& [name, time] = times_[i];
        std::printf("  %-30s %9.1f ns  %10.0f calls/s  x%.1f", name.c_str(), time,
                    time > 0 ? 1e9 / time : 0.0, model > 0 ? time / model : 0.0);
        if (i >= group + 2)
          std::printf("  library adds %.1f ns per exchange", (time - pipes) / exchanges);
        std::printf("\n");
      }
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  ExportReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
