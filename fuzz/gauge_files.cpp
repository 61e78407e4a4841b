// What the simulated gauge reads from disk: a `.gauge` file of any text, and a `.state` file
// whose bytes are a real gauge state with arbitrary patches. Neither may crash the gauge or
// make its pressures anything but numbers.
#include <sstream>

#include "FuzzInput.h"
#include "SimulatedGaugeDriver.h"
#include "gaugesim/model/GaugeConfig.h"

namespace {

void gaugeFile(qx5::fuzz::FuzzInput& input) {
  std::istringstream text(input.restAsText());
  std::ostringstream messages;
  const qx5::sim::GaugeConfig config =
      qx5::sim::parseGaugeConfig(text, "fuzz.gauge", qx5::sim::GaugeConfig{}, messages);
  qx5::fuzz::ManualClock clock;
  qx5::sim::Gauge gauge(config, clock.source());
  for (std::uint8_t code : {qx5::command::GetSerialNumber, qx5::command::GetQX5FirmwareVersion,
                            qx5::command::GetChipset})
    qx5::fuzz::exchange(gauge, qx5::fuzz::commandPacket(code));
  qx5::fuzz::checkPressuresStayFinite(gauge, clock);
}

// Patches: a 24-bit offset into the state, a length byte, the bytes.
void stateFile(qx5::fuzz::FuzzInput& input) {
  qx5::fuzz::ManualClock clock;
  qx5::sim::Gauge source(qx5::sim::GaugeConfig{}, clock.source());
  std::vector<std::uint8_t> state = source.snapshot();
  if (input.byte() & 1) state.resize(input.u32() % (state.size() + 1));
  while (!input.empty()) {
    const std::size_t offset = (input.u32() >> 8) % (state.size() + 1);
    const std::vector<std::uint8_t> patch = input.bytes(input.byte());
    for (std::size_t i = 0; i < patch.size() && offset + i < state.size(); ++i)
      state[offset + i] = patch[i];
  }
  qx5::sim::Gauge gauge(qx5::sim::GaugeConfig{}, clock.source());
  gauge.restore(state);
  qx5::fuzz::checkPressuresStayFinite(gauge, clock);
  // The firmware reloads its settings from EEPROM when it restarts.
  qx5::fuzz::exchange(gauge, qx5::fuzz::commandPacket(qx5::command::DoBoot, {0}));
  clock.advance(std::chrono::seconds(5));
  qx5::fuzz::exchange(gauge, qx5::fuzz::commandPacket(qx5::command::DoBoot, {1}));
  clock.advance(std::chrono::seconds(5));
  qx5::fuzz::checkPressuresStayFinite(gauge, clock);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx5::fuzz::FuzzInput input(data, size);
  if (input.byte() & 1)
    stateFile(input);
  else
    gaugeFile(input);
  return 0;
}
