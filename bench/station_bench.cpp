// The upgrade station on a bench of simulated gauges whose every transfer takes 1 ms, each given
// a 128 KiB release: the time until all 8 gauges plugged in together are done with -j=8 against
// the time for one gauge alone, each gauge on a bus of its own (target: at most 1.3 times), and
// all on one shared full-speed bus, as behind one hub. The station runs as the program does for
// a user (qx5cmd, one poll with -x), with its real waits for each gauge's restart and launch.
#include <benchmark/benchmark.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSupport.h"
#include "qx5cmd/firmware/HexWriter.h"
#include "support/PrivateLibraryCopy.h"
#include "support/TempDir.h"

namespace {

constexpr const char* kLatencyMs = "1";
constexpr std::uint32_t kReleaseSize = 128 * 1024;
constexpr std::uint32_t kVersionRecord = 0x1EFC0;  // where a simulated gauge reads its version

// fw.2.hex in `folder`: a whole flash of code with the version record of release 9.99.
void writeRelease(const std::string& folder) {
  std::vector<std::uint8_t> image(kReleaseSize);
  for (std::uint32_t i = 0; i < kReleaseSize; ++i) image[i] = static_cast<std::uint8_t>(i * 7);
  const std::string record = "VER:9.99";
  std::fill(image.begin() + kVersionRecord, image.begin() + kVersionRecord + 64, 0xFF);
  std::copy(record.begin(), record.end(), image.begin() + kVersionRecord);
  image[kVersionRecord + record.size()] = 0;
  HexWriter writer(folder + "/fw.2.hex");
  writer.writeBlock(0, image.data(), image.size());
  writer.writeEndOfFileRecord();
  writer.close();
}

// One station poll over `gauges` fresh simulated gauges, `jobs` at once; false when the station
// did not upgrade them all.
bool runStation(const std::string& folder, int gauges, int jobs, bool sharedBus) {
  const std::string command =
      "cd '" + folder + "' && QX5SIM=" + std::to_string(gauges) +
      " QX5SIM_LATENCY_MS=" + kLatencyMs + " QX5SIM_BUS=" + (sharedBus ? "shared" : "own") +
      " QX5CMD_LIBRARY='" + qx5::test::privateLibrary() + "' USERNAME= '" + QX5_BIN_DIR +
      "/qx5cmd' -x -d=0 -j=" + std::to_string(jobs) +
      " firmware_upgrade_station fw 9.99 17 > station.out 2>&1 && test $(grep -c '^\\* gauge.*"
      "firmware: 9.99$' station.out) -eq " +
      std::to_string(gauges);
  return std::system(command.c_str()) == 0;
}

void BM_StationUpgrade(benchmark::State& state) {
  const int gauges = static_cast<int>(state.range(0));
  qx5::test::TempDir folder;
  writeRelease(folder.path().string());
  for (auto _ : state) {
    if (!runStation(folder.path().string(), gauges, gauges, state.range(1) != 0)) {
      state.SkipWithError("the station did not upgrade every gauge (see station.out)");
      break;
    }
  }
}
BENCHMARK(BM_StationUpgrade)
    ->ArgNames({"gauges", "shared_bus"})
    ->Args({1, 0})
    ->Args({8, 0})
    ->Args({8, 1})
    ->Unit(benchmark::kSecond)
    ->UseRealTime()
    ->Iterations(1)
    ->Repetitions(2)
    ->ReportAggregatesOnly(true);

class StationReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.size() != 3) return;
    const double one = times_[0].second, own = times_[1].second, shared = times_[2].second;
    std::printf(
        "\nstation, 128 KiB release at %s ms per transfer: one gauge %.1f s; 8 gauges with -j=8\n"
        "  on buses of their own %.1f s, ratio %.2f (target at most 1.3)\n"
        "  on one shared bus     %.1f s, ratio %.2f\n",
        kLatencyMs, one, own, own / one, shared, shared / one);
  }
};

}  // namespace

int main(int argc, char** argv) {
  StationReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
