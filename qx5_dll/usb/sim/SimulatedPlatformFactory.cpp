// QX5SIM and its companions QX5SIM_TRACE and QX5SIM_LATENCY_MS, read once at start-up.
#include <cstdlib>
#include <iostream>

#include "gaugesim/model/Parsing.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"

namespace qx5::sim {

std::unique_ptr<UsbPlatform> createSimulatedPlatform(const std::string& qx5simValue) {
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
  const ClockSource clock = [] { return platform::processClock().now(); };
  return std::make_unique<SimulatedUsbPlatform>(
      Environment::fromValue(qx5simValue, std::cerr, clock), std::move(options));
}

}  // namespace qx5::sim
