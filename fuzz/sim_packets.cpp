// The simulated gauge's packet handler on arbitrary packets, as an application may send them:
// it must answer within a packet, never crash, and keep its pressures numbers.
#include "FuzzInput.h"
#include "SimulatedGaugeDriver.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx5::fuzz::FuzzInput input(data, size);
  qx5::fuzz::ManualClock clock;
  qx5::sim::Gauge gauge(qx5::sim::GaugeConfig{}, clock.source());
  // Each packet: a length byte (up to 64), then that many bytes; the clock moves between them.
  for (int packets = 0; !input.empty() && packets < 64; ++packets) {
    const std::size_t length = input.byte() % (qx5::packet::kBufferSize + 1);
    std::vector<std::uint8_t> packet = input.bytes(length);
    qx5::fuzz::exchange(gauge, packet);
    clock.advance(std::chrono::milliseconds(input.byte() * 20));
  }
  qx5::fuzz::checkPressuresStayFinite(gauge, clock);
  return 0;
}
