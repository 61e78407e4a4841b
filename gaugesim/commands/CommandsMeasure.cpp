// Readings: pressures, the reading cache, flow, temperature, battery, tick counter.
#include <cmath>

#include "gaugesim/commands/CommandTable.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"

namespace qx5::sim {
namespace {

constexpr std::size_t kPortOffset = 16;
constexpr std::int16_t kTemperature = 22;

void readPressure(Gauge& gauge, const Request& request, Reply& reply) {
  const bool portB = request.u8(kPortOffset) % 2 != 0;
  reply.f32(8, portB ? gauge.portB() : gauge.portA());
  reply.status(gauge.config().kind);
}

void bothPorts(Gauge& gauge, const Request&, Reply& reply) {
  reply.f32(8, gauge.portA());
  reply.f32(12, gauge.portB());
  reply.status(gauge.config().kind);
}

void enableCache(Gauge& gauge, const Request& request, Reply&) {
  gauge.cacheEnabled = request.u8(8) != 0;
  if (gauge.cacheEnabled) gauge.cache = {gauge.portA(), gauge.portB()};
}

// The cache holds the pair taken when it was last refreshed; while enabled, every read
// refreshes it first, as the firmware samples into it continuously.
void readCache(Gauge& gauge, const Request&, Reply& reply) {
  if (gauge.cacheEnabled) gauge.cache = {gauge.portA(), gauge.portB()};
  reply.f32(8, gauge.cache[0]);
  reply.f32(12, gauge.cache[1]);
}

void cacheStatus(Gauge& gauge, const Request&, Reply& reply) {
  reply.u8(8, gauge.cacheEnabled ? 1 : 0);
}

void flow(Gauge& gauge, const Request&, Reply& reply) { reply.f32(8, gauge.flow()); }

void temperature(Gauge& gauge, const Request&, Reply& reply) {
  const double drift = std::sin(gauge.uptimeSeconds() / 600.0);
  reply.i16(8, static_cast<std::int16_t>(kTemperature + std::lround(drift)));
}

void battery(Gauge& gauge, const Request&, Reply& reply) { reply.u16(8, gauge.batteryLevel()); }

void tickCount(Gauge& gauge, const Request&, Reply& reply) {
  const auto ms = static_cast<std::uint64_t>(gauge.uptimeSeconds() * 1000.0);
  reply.u32(8, static_cast<std::uint32_t>(ms));
}

constexpr CommandEntry kCommands[] = {
    {command::ReadPressure, "ReadPressure", readPressure, 17, RunsIn::Application, false},
    {command::GetFlow, "GetFlow", flow, 8, RunsIn::Application, false},
    {command::GetTemperature, "GetTemperature", temperature, 8, RunsIn::Application, false},
    {command::GetBatteryLevel, "GetBatteryLevel", battery, 8, RunsIn::Application, false},
    {command::EnableUsbCache, "EnableUsbCache", enableCache, 9, RunsIn::Application, false},
    {command::ReadCache, "ReadCache", readCache, 8, RunsIn::Application, false},
    {command::GetPressureFaster, "GetPressureFaster", bothPorts, 8, RunsIn::Application, false},
    {command::GetCacheStatus, "GetCacheStatus", cacheStatus, 8, RunsIn::Application, false},
    {command::GetQX5TickCount, "GetQX5TickCount", tickCount, 8, RunsIn::Application, false},
};

}  // namespace

std::span<const CommandEntry> measurementCommands() { return kCommands; }

}  // namespace qx5::sim
