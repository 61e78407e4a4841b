// HexReader::load and HexWriter throughput on a 1 MiB image, against GNU objcopy converting
// the same file to binary (process start included: that is what a user of objcopy pays).
#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace {

constexpr size_t kImageSize = 1 << 20;

struct Fixture {
  std::filesystem::path dir;
  std::string hexFile, writerFile, binaryFile;
  std::vector<uint8_t> image;

  Fixture() {
    std::random_device seed;
    dir = std::filesystem::temp_directory_path() / ("qx5_hex_bench_" + std::to_string(seed()));
    std::filesystem::create_directories(dir);
    hexFile = (dir / "image.hex").string();
    writerFile = (dir / "written.hex").string();
    binaryFile = (dir / "image.bin").string();
    std::mt19937 random(1);
    image.resize(kImageSize);
    for (auto& b : image) b = static_cast<uint8_t>(random());
    HexWriter writer(hexFile);
    writer.writeBlock(0, image.data(), image.size());
    writer.writeEndOfFileRecord();
  }
  ~Fixture() {
    std::error_code ignored;
    std::filesystem::remove_all(dir, ignored);
  }
};

Fixture& fixture() {
  static Fixture f;
  return f;
}

// Seconds per iteration of the last run of each benchmark, for the ratios printed at the end.
std::map<std::string, double> secondsPerImage;

template <typename Body>
void measure(benchmark::State& state, const std::string& name, Body body) {
  const auto start = std::chrono::steady_clock::now();
  for (auto _ : state) body();
  const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
  secondsPerImage[name] = elapsed.count() / static_cast<double>(state.iterations());
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * kImageSize));
}

void BM_HexReaderLoad(benchmark::State& state) {
  HexReader reader;
  measure(state, "HexReader::load", [&] {
    if (!reader.load(fixture().hexFile) || reader.total() != kImageSize)
      state.SkipWithError("load failed");
  });
}

void BM_HexWriterWriteBlock(benchmark::State& state) {
  measure(state, "HexWriter", [&] {
    HexWriter writer(fixture().writerFile);
    writer.writeBlock(0, fixture().image.data(), fixture().image.size());
    writer.writeEndOfFileRecord();
  });
}

void BM_ObjcopyIhexToBinary(benchmark::State& state) {
  const std::string command =
      "objcopy -I ihex -O binary " + fixture().hexFile + " " + fixture().binaryFile;
  measure(state, "objcopy", [&] {
    if (std::system(command.c_str()) != 0) state.SkipWithError("objcopy failed");
  });
}

BENCHMARK(BM_HexReaderLoad)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_HexWriterWriteBlock)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ObjcopyIhexToBinary)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  const double mib = static_cast<double>(kImageSize) / 1e6;
  for (const auto& [name, seconds] : secondsPerImage)
    std::printf("%-18s %8.1f MB of image/s\n", name.c_str(), mib / seconds);
  if (secondsPerImage.count("objcopy")) {
    const double baseline = secondsPerImage["objcopy"];
    for (const char* name : {"HexReader::load", "HexWriter"})
      if (secondsPerImage.count(name))
        std::printf("%-18s %8.2fx the speed of objcopy -I ihex -O binary\n", name,
                    baseline / secondsPerImage[name]);
  }
  return 0;
}
