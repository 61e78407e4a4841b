// Any text as a recording: the reader either refuses it with a message naming a line, or every
// gauge it yields answers each recorded request, and others, within a packet, strict or not.
#include <sstream>

#include "FuzzInput.h"
#include "SimulatedGaugeDriver.h"
#include "gaugesim/model/Replay.h"
#include "qx5_dll/usb/RecordingReader.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx5::fuzz::FuzzInput input(data, size);
  const bool strict = input.byte() & 1;
  std::istringstream text(input.restAsText());
  std::string error;
  const auto recording = qx5::recording::readRecording(text, "fuzz.rec", error);
  if (!recording) {
    if (error.rfind("fuzz.rec:", 0) != 0) std::abort();
    return 0;
  }
  qx5::fuzz::ManualClock clock;
  for (const auto& recorded : recording->gauges) {
    auto gauge = qx5::sim::replayedGauge(recorded, qx5::sim::GaugeConfig{},
                                         qx5::sim::ReplayOptions{strict, true, {}}, clock.source());
    std::vector<std::vector<std::uint8_t>> requests;
    for (const auto& exchange : recorded.exchanges) requests.push_back(exchange.request.bytes);
    requests.push_back(qx5::fuzz::commandPacket(qx5::command::GetSerialNumber));
    // Twice: the second time serves the next recorded reply, or repeats the last.
    for (const auto& request : requests) {
      qx5::fuzz::exchange(*gauge, request);
      qx5::fuzz::exchange(*gauge, request);
    }
  }
  return 0;
}
