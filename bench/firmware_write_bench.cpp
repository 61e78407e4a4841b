// Writing a 128 KiB firmware image into a simulated gauge whose every transfer takes 1 ms: the
// erase-and-write phase of a download (the launch's fixed waits left out) against the
// protocol's bound of two transfers per exchange, and against the same number of bare
// exchanges measured in the same run. Target: within 5 % of the bound.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "gaugesim/files/Environment.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5cmd/firmware/MemoryTransfer.h"
#include "qx5dll.h"

namespace {

constexpr std::uint32_t kLatencyMs = 1;
constexpr std::uint32_t kImageSize = 128 * 1024;

// The library with one simulated gauge at 1 ms per transfer, selected and in its bootloader.
class SlowGaugeLibrary {
 public:
  SlowGaugeLibrary() {
    qx5::setGuardedFileName("firmware-bench-no-such-library");
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory([] {
      qx5::sim::SimulationOptions options;
      options.latencyMs = kLatencyMs;
      return std::make_unique<qx5::sim::SimulatedUsbPlatform>(
          std::make_unique<qx5::sim::Environment>(1), options);
    });
    ok = GetDeviceCount() == 1 && UsbPort(0) && DoBoot(0);
  }
  ~SlowGaugeLibrary() {
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory(nullptr);
    qx5::setGuardedFileName("");
  }
  bool ok = false;
};

// The tools' view of the gauge straight on the exports, counting the exchanges.
class ExportGauge : public qx5cmd::MemoryGauge {
 public:
  bool upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) override {
    ++exchanges;
    return UploadMemory(address, count, buffer);
  }
  bool download(std::uint32_t address, std::uint32_t count, const std::uint8_t* buffer) override {
    ++exchanges;
    return DownloadMemory(address, count, buffer);
  }
  bool erase(std::uint32_t address, std::uint32_t length) override {
    ++exchanges;
    return EraseMemory(address, length);
  }
  bool doBoot(std::uint8_t mode) override { return DoBoot(mode); }
  std::string firmwareVersion() override { return {}; }
  std::string errorMessage() override { return {}; }
  int serialNumber() override { return -1; }
  int chipset() override { return static_cast<int>(GetChipset()); }
  bool show(int, const std::string&) override { return true; }

  long exchanges = 0;
};

long exchangesPerImage = 0;

void BM_EraseAndWrite128KiB(benchmark::State& state) {
  SlowGaugeLibrary library;
  if (!library.ok) return state.SkipWithError("no simulated gauge");
  std::vector<std::uint8_t> image(kImageSize);
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 31);
  ExportGauge gauge;
  // The figure is kept, not printed, so the report stays readable.
  std::string shown;
  qx5cmd::ProgressMeter meter([&](const std::string& text) { shown = text; });
  qx5cmd::MemoryTransfer transfer(gauge, meter);
  for (auto _ : state) {
    gauge.exchanges = 0;
    meter.reset(qx5cmd::TransferKind::write, kImageSize);
    const bool ok =
        transfer.eraseRegion(0, kImageSize) && transfer.write(0, kImageSize, image.data());
    if (!ok) return state.SkipWithError("the gauge refused the image");
  }
  exchangesPerImage = gauge.exchanges;
  state.counters["exchanges"] = static_cast<double>(gauge.exchanges);
}
BENCHMARK(BM_EraseAndWrite128KiB)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

// As many plain exchanges as the image takes: what the simulated pipes allow.
void BM_BareExchanges(benchmark::State& state) {
  SlowGaugeLibrary library;
  if (!library.ok) return state.SkipWithError("no simulated gauge");
  const long count = exchangesPerImage > 0 ? exchangesPerImage : 2795;
  for (auto _ : state)
    for (long i = 0; i < count; ++i) benchmark::DoNotOptimize(GetChipset());
}
BENCHMARK(BM_BareExchanges)
    ->Unit(benchmark::kMillisecond)
    ->Iterations(1)
    ->Repetitions(3)
    ->ReportAggregatesOnly(true);

class FirmwareReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 2 || exchangesPerImage == 0) return;
    // Reported in milliseconds (the benchmarks' unit).
    const double write = times_[0].second, bare = times_[1].second;
    const double bound = 2.0 * kLatencyMs * static_cast<double>(exchangesPerImage);
    std::printf(
        "\n128 KiB erase and write: %ld exchanges, %.0f ms\n"
        "  protocol bound (2 transfers x %u ms per exchange): %.0f ms, ratio %.3f\n"
        "  bare exchanges on the same pipes: %.0f ms, ratio %.3f\n",
        exchangesPerImage, write, kLatencyMs, bound, write / bound, bare, write / bare);
  }
};

}  // namespace

int main(int argc, char** argv) {
  FirmwareReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
