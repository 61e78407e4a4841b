// Cost of one command packet exchange against a gauge that answers at once: with logging off
// (the library's own overhead, target well under 1 us per exchange) and with a level 9 trace
// to a log file. Ratios are against the bare write and read calls on the same double.
#include <benchmark/benchmark.h>

#include <cstdio>

#include "BenchSupport.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/Packet.h"
#include "support/ForwardingUsbPlatform.h"

namespace {

using qx5::bench::commandPacket;
using qx5::bench::Packet;

// Echoes the command of the last packet written in an 8-byte reply, with no delay.
class EchoUsbPlatform : public qx5::test::ForwardingUsbPlatform {
 public:
  bool writePipe(qx5::InterfaceHandle, std::uint8_t, const std::uint8_t* data, std::uint32_t length,
                 std::uint32_t& written) override {
    command_ = length > qx5::packet::kCommandOffset ? data[qx5::packet::kCommandOffset] : 0;
    written = length;
    return true;
  }
  bool readPipe(qx5::InterfaceHandle, std::uint8_t, std::uint8_t* buffer, std::uint32_t capacity,
                std::uint32_t& received) override {
    std::uint8_t reply[8] = {0, 0, 0, 0, 0, 0, 0, command_};
    received = capacity < sizeof reply ? capacity : sizeof reply;
    for (std::uint32_t i = 0; i < received; ++i) buffer[i] = reply[i];
    return true;
  }

 private:
  std::uint8_t command_ = 0;
};

void exchangeLoop(benchmark::State& state) {
  EchoUsbPlatform usb;
  qx5::DEVICE_DATA device(&usb, 0);
  device.winUsbHandle = 1;
  device.pipeInId = 0x81;
  device.pipeOutId = 0x01;
  const Packet packet = commandPacket(24);
  Packet reply{};
  std::uint32_t received = 0;
  // The first call of a function is traced in full; measure later calls.
  received = reply.size();
  device.SendReceivePacket(packet.data(), qx5::packet::kDefaultLength, reply.data(), received);
  for (auto _ : state) {
    received = reply.size();
    const bool ok = device.SendReceivePacket(packet.data(), qx5::packet::kDefaultLength,
                                             reply.data(), received);
    benchmark::DoNotOptimize(ok);
    benchmark::DoNotOptimize(reply.data());
  }
}

void BM_BarePipeCalls(benchmark::State& state) {
  EchoUsbPlatform usb;
  qx5::UsbPlatform* platform = &usb;
  benchmark::DoNotOptimize(platform);  // keep the calls virtual, as the exchange makes them
  const Packet packet = commandPacket(24);
  Packet reply{};
  for (auto _ : state) {
    std::uint32_t written = 0, received = 0;
    platform->writePipe(1, 0x01, packet.data(), qx5::packet::kDefaultLength, written);
    platform->readPipe(1, 0x81, reply.data(), reply.size(), received);
    benchmark::DoNotOptimize(reply.data());
  }
}
BENCHMARK(BM_BarePipeCalls);

void BM_ExchangeLoggingOff(benchmark::State& state) {
  qx5::logInit(qx5::kLogOff, nullptr, false);
  exchangeLoop(state);
}
BENCHMARK(BM_ExchangeLoggingOff);

void BM_ExchangeTraceToFile(benchmark::State& state) {
  qx5::bench::ScopedLog log(qx5::kLogTrace, "qx5_exchange_bench");
  exchangeLoop(state);
}
BENCHMARK(BM_ExchangeTraceToFile);

// Console output plus each benchmark's time as a multiple of the first one's.
class RatioReporter : public qx5::bench::TimesReporter {
 public:
  void Finalize() override {
    ConsoleReporter::Finalize();
    if (times_.empty()) return;
    const auto& [baseName, base] = times_.front();
    std::printf("\nratio to %s (%.1f ns):\n", baseName.c_str(), base);
    for (const auto& [name, time] : times_) {
      std::printf("  %-32s %10.1f ns  x%.1f\n", name.c_str(), time, base > 0 ? time / base : 0.0);
    }
  }
};

}  // namespace

int main(int argc, char** argv) {
  RatioReporter reporter;
  return qx5::bench::runBenchmarks(argc, argv, reporter);
}
