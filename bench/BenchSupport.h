// What the benchmark programs share: command packets, a trace log in a scratch folder, the
// library on simulated gauges, and a console reporter that keeps each run's time for a closing
// comparison.
#pragma once

#include <benchmark/benchmark.h>

#include <array>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Processes.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5dll.h"

namespace qx5::bench {

using Packet = std::array<std::uint8_t, qx5::packet::kBufferSize>;

// Command `code` with the default 36-byte header and all parameters zero.
inline Packet commandPacket(std::uint8_t code) {
  using namespace qx5::packet;
  return {kMarker, kDefaultLength, kFixed2, kFixed3, kFixed4, kDefaultParamLength, 0, code};
}

// Logging at `level` for the object's lifetime, to a file in a scratch folder named after
// `folder` when the level writes anything; logging off and the folder removed afterwards. The
// process id in the name keeps two runs at once out of each other's folder.
class ScopedLog {
 public:
  ScopedLog(int level, const char* folder)
      : dir_(std::filesystem::temp_directory_path() /
             (std::string(folder) + "_" + std::to_string(qx5::platform::currentProcessId()))) {
    std::filesystem::create_directories(dir_);
    const std::string file = (dir_ / "trace.log").string();
    qx5::logInit(level, level > 0 ? file.c_str() : nullptr, false);
  }
  ~ScopedLog() {
    qx5::logInit(qx5::kLogOff, nullptr, false);
    std::error_code ignored;
    std::filesystem::remove_all(dir_, ignored);
  }
  ScopedLog(const ScopedLog&) = delete;
  ScopedLog& operator=(const ScopedLog&) = delete;

 private:
  std::filesystem::path dir_;
};

// The library in this process on the platform `make` returns, its gauges counted and gauge 0
// selected; the library as at load again afterwards. The process guard looks for a file that no
// process maps, so other programs using the library at the same time do not refuse this one.
class BenchLibrary {
 public:
  BenchLibrary(const std::string& name, qx5::UsbPlatformFactory make) {
    qx5::setGuardedFileName(name + "-no-such-library");
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory(std::move(make));
    gauges = GetDeviceCount();
    if (gauges > 0) UsbPort(0);
  }
  ~BenchLibrary() {
    qx5::api::ResetLibraryState();
    qx5::setUsbPlatformFactory(nullptr);
    qx5::setGuardedFileName("");
  }
  BenchLibrary(const BenchLibrary&) = delete;
  BenchLibrary& operator=(const BenchLibrary&) = delete;

  int gauges = 0;
};

// Console output; `times_` collects each benchmark's name and real time (processor time with
// `cpu`, the call's own cost on a machine others share) for Finalize.
class TimesReporter : public benchmark::ConsoleReporter {
 public:
  explicit TimesReporter(bool cpu = false) : cpu_(cpu) {}
  void ReportRuns(const std::vector<Run>& runs) override {
    ConsoleReporter::ReportRuns(runs);
    for (const Run& run : runs) {
      // Plain runs, or only the means when repetitions are aggregated.
      const bool mean = run.run_type == Run::RT_Aggregate && run.aggregate_name == "mean";
      if (!mean && (run.run_type != Run::RT_Iteration || run.iterations == 0)) continue;
      times_.emplace_back(run.benchmark_name(),
                          cpu_ ? run.GetAdjustedCPUTime() : run.GetAdjustedRealTime());
    }
  }

 protected:
  std::vector<std::pair<std::string, double>> times_;

 private:
  bool cpu_;
};

// The usual benchmark main, reporting through `reporter`.
inline int runBenchmarks(int argc, char** argv, benchmark::BenchmarkReporter& reporter) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks(&reporter);
  benchmark::Shutdown();
  return 0;
}

}  // namespace qx5::bench
