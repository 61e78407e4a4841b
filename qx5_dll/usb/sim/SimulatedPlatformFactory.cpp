// QX5SIM and its companions QX5SIM_TRACE, QX5SIM_LATENCY_MS, QX5SIM_BUS and QX5SIM_REPLAY, read
// once at start-up. Every gauge has a bus of its own, whose frames of QX5SIM_LATENCY_MS carry one
// transfer each; QX5SIM_BUS=shared puts them all on one full-speed bus instead, whose frames
// (QX5SIM_LATENCY_MS, or 1 ms) carry at most 19 transfers for all gauges together.
#include <cstdlib>
#include <iostream>
#include <sstream>

#include "gaugesim/model/Parsing.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"

namespace qx5::sim {
namespace {

// QX5SIM_REPLAY: words separated by commas, "strict" and "realtime"; unset or "model": the model
// answers what the recording lacks, at once.
ReplayOptions replayOptions(std::function<void(const std::string&)> log) {
  ReplayOptions replay;
  replay.log = std::move(log);
  const char* value = std::getenv("QX5SIM_REPLAY");
  std::istringstream words(value ? value : "");
  for (std::string word; std::getline(words, word, ',');) {
    if (word == "strict")
      replay.strict = true;
    else if (word == "realtime")
      replay.realtime = true;
    else if (!word.empty() && word != "model")
      std::cerr << "QX5SIM_REPLAY: '" << word << "' is not strict, realtime or model; ignored\n";
  }
  return replay;
}

}  // namespace

std::unique_ptr<UsbPlatform> createSimulatedPlatform(const std::string& qx5simValue,
                                                     std::function<void(const std::string&)> log) {
  SimulationOptions options;
  if (const char* trace = std::getenv("QX5SIM_TRACE")) options.tracePath = trace;
  if (const char* latency = std::getenv("QX5SIM_LATENCY_MS"); latency && *latency) {
    const std::string text = latency;
    std::uint32_t ms = 0;
    if (parseWhole(text, ms))
      options.latencyMs = ms;
    else
      std::cerr << "QX5SIM_LATENCY_MS=" << text << ": not a number of milliseconds; using 0\n";
  }
  if (const char* bus = std::getenv("QX5SIM_BUS"); bus && *bus) {
    const std::string text = bus;
    if (text == "shared")
      options.sharedBus = true;
    else if (text != "own")
      std::cerr << "QX5SIM_BUS=" << text << ": not shared or own; every gauge has its own bus\n";
  }
  const ClockSource clock = [] { return platform::processClock().now(); };
  return std::make_unique<SimulatedUsbPlatform>(
      Environment::fromValue(qx5simValue, std::cerr, clock, replayOptions(std::move(log))),
      std::move(options));
}

}  // namespace qx5::sim
