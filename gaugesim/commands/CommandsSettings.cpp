// Modes, device and range selection, averaging, fan and pressure control, keypad, display.
#include <cmath>
#include <string>

#include "gaugesim/commands/CommandTable.h"
#include "gaugesim/commands/SettingHandlers.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"

namespace qx5::sim {
namespace {

constexpr std::size_t kDeviceNameMax = 24;
constexpr std::size_t kRangeListMax = 52;
constexpr std::uint8_t kButtons = 15;
constexpr float kFanVersion = 2.1f;

void setMode(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kModes) return reply.fail();
  gauge.settings.mode = request.u8(8);
}

// Both selections answer with the range count of the selected device and the device count;
// an index out of range keeps the selection and says so in the status byte.
void selectionCounts(Gauge& gauge, Reply& reply, bool accepted) {
  const auto& table = devices();
  reply.u8(8, static_cast<std::uint8_t>(table[gauge.settings.device].ranges.size()));
  reply.u8(9, static_cast<std::uint8_t>(table.size()));
  if (!accepted) reply.status(kStatusError);
}

void setDevice(Gauge& gauge, const Request& request, Reply& reply) {
  const bool accepted = request.u8(8) < devices().size();
  if (accepted && gauge.settings.device != request.u8(8)) {
    gauge.settings.device = request.u8(8);
    gauge.settings.range = 0;
  }
  selectionCounts(gauge, reply, accepted);
}

void setRange(Gauge& gauge, const Request& request, Reply& reply) {
  const bool accepted = request.u8(8) < devices()[gauge.settings.device].ranges.size();
  if (accepted) gauge.settings.range = request.u8(8);
  selectionCounts(gauge, reply, accepted);
}

void deviceName(Gauge& gauge, const Request&, Reply& reply) {
  reply.text(devices()[gauge.settings.device].name, kDeviceNameMax);
}

void rangeName(Gauge& gauge, const Request&, Reply& reply) {
  reply.text(devices()[gauge.settings.device].ranges[gauge.settings.range], kDeviceNameMax);
}

void rangeNames(Gauge& gauge, const Request&, Reply& reply) {
  reply.text(rangeList(devices()[gauge.settings.device]), kRangeListMax);
}

// The same command steps the averaging and reports the new mode.
void changeTimeAverage(Gauge& gauge, const Request&, Reply& reply) {
  auto& mode = gauge.settings.timeAverage;
  mode = static_cast<std::uint8_t>((mode + 1) % kTimeAverageModes);
  reply.u8(8, mode);
}

void setTimeAverage(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kTimeAverageModes) return reply.fail();
  gauge.settings.timeAverage = request.u8(8);
  reply.u8(8, 1);
}

void setFanSpeed(Gauge& gauge, const Request& request, Reply&) {
  gauge.advancePhysics();
  gauge.physics.setFanPercent(request.i16(8));
}

void getFanSpeed(Gauge& gauge, const Request&, Reply& reply) {
  gauge.advancePhysics();
  reply.u16(8, static_cast<std::uint16_t>(std::lround(gauge.physics.fanCommand() * 1023 / 100)));
}

void getFanPercent(Gauge& gauge, const Request&, Reply& reply) {
  gauge.advancePhysics();
  reply.f32(8, static_cast<float>(gauge.physics.fanCommand()));
}

void fanVersion(Gauge&, const Request&, Reply& reply) { reply.f32(8, kFanVersion); }

void setFlowPressure(Gauge& gauge, const Request& request, Reply&) {
  gauge.settings.flowTarget = request.i16(8);
}

void setRoomPressure(Gauge& gauge, const Request& request, Reply&) {
  gauge.advancePhysics();
  gauge.physics.setRoomTarget(request.i16(8));
}

void setAtPressure(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kAtPressures) return reply.fail();
  gauge.settings.atPressure[request.u8(8)] = request.i16(9);
}

void getAtPressure(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kAtPressures) return reply.fail();
  reply.i16(8, gauge.settings.atPressure[request.u8(8)]);
}

void setPid(Gauge& gauge, const Request& request, Reply& reply) {
  const float value = request.f32(9);
  if (request.u8(8) >= kPidConstants || !std::isfinite(value)) return reply.fail();
  gauge.settings.pid[request.u8(8)] = value;
}

void getPid(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kPidConstants) return reply.fail();
  reply.f32(8, gauge.settings.pid[request.u8(8)]);
}

void setRelative(Gauge& gauge, const Request& request, Reply&) {
  // Relative readings count from what the ports read when it was switched on.
  gauge.settings.relative = false;
  gauge.relativeZero = {gauge.portA(), gauge.portB()};
  gauge.settings.relative = request.u8(8) != 0;
}

void pushButton(Gauge& gauge, const Request& request, Reply& reply) {
  if (request.u8(8) >= kButtons) return reply.fail();
  gauge.pressButton(request.u8(8));
}

void enterSetUp(Gauge& gauge, const Request&, Reply&) { gauge.inSetUp = true; }

void abortAll(Gauge& gauge, const Request&, Reply&) {
  gauge.advancePhysics();
  gauge.physics.stop();
  gauge.inSetUp = false;
  gauge.messages = {};
}

void powerOff(Gauge& gauge, const Request&, Reply&) {
  gauge.advancePhysics();
  gauge.physics.stop();
  gauge.poweredOff = true;
}

void backlight(Gauge& gauge, const Request& request, Reply&) {
  gauge.settings.backlight = request.u8(8) != 0;
  gauge.poweredOff = false;
}

constexpr CommandEntry kCommands[] = {
    {command::SetAutoZero, "SetAutoZero", setFlag<&Settings::autoZero>, 9, RunsIn::Application,
     true},
    {command::ChangeTimeAverage, "ChangeTimeAverage", changeTimeAverage, 8, RunsIn::Application,
     true},
    {command::SetFlowPressure, "SetFlowPressure", setFlowPressure, 10, RunsIn::Application, true},
    {command::SetRoomPressure, "SetRoomPressure", setRoomPressure, 10, RunsIn::Application, false},
    {command::SetFanSpeed, "SetFanSpeed", setFanSpeed, 10, RunsIn::Application, false},
    {command::SetDevice, "SetDevice", setDevice, 9, RunsIn::Application, true},
    {command::GetConstN, "GetConstN", getByte<&Settings::constN>, 8, RunsIn::Application, false},
    {command::SetConstN, "SetConstN", setByte<&Settings::constN>, 9, RunsIn::Application, true},
    {command::BackLightOn, "BackLightOn", backlight, 9, RunsIn::Application, true},
    {command::SetRange, "SetRange", setRange, 9, RunsIn::Application, true},
    {command::SetRoomPIDConstant, "SetRoomPIDConstant", setPid, 13, RunsIn::Application, true},
    {command::GetRoomPIDConstant, "GetRoomPIDConstant", getPid, 9, RunsIn::Application, false},
    {command::GetAtMode, "GetAtMode", getByte<&Settings::mode>, 8, RunsIn::Application, false},
    {command::SetMode, "SetMode", setMode, 9, RunsIn::Application, true},
    {command::GetDeviceName, "GetDeviceName", deviceName, 8, RunsIn::Application, false},
    {command::GetDeviceRanges, "GetDeviceRanges", rangeNames, 8, RunsIn::Application, false},
    {command::EnterSetUp, "EnterSetUp", enterSetUp, 8, RunsIn::Application, false},
    {command::PushButton, "PushButton", pushButton, 9, RunsIn::Application, true},
    {command::PowerOff, "QX5_Off", powerOff, 8, RunsIn::Application, false},
    {command::Abort, "Abort", abortAll, 8, RunsIn::Application, false},
    {command::GetFanVersion, "GetFanVersion", fanVersion, 8, RunsIn::Application, false},
    {command::SetAtPressure, "SetAtPressure", setAtPressure, 11, RunsIn::Application, true},
    {command::GetAtPressure, "GetAtPressure", getAtPressure, 9, RunsIn::Application, false},
    {command::GetFanSpeed, "GetFanSpeed", getFanSpeed, 8, RunsIn::Application, false},
    {command::GetDeviceRange, "GetDeviceRange", rangeName, 8, RunsIn::Application, false},
    {command::SetReverseMode, "SetReverseMode", setFlag<&Settings::reverse>, 9, RunsIn::Application,
     true},
    {command::GetReverseModeStatus, "GetReverseModeStatus", getFlag<&Settings::reverse>, 8,
     RunsIn::Application, false},
    {command::SetTimeAvgOff, "SetTimeAvgOff", setTimeAverage, 9, RunsIn::Application, true},
    {command::GetRelPresStatus, "GetRelPresStatus", getFlag<&Settings::relative>, 8,
     RunsIn::Application, false},
    {command::SetRelPresStatus, "SetRelPresStatus", setRelative, 9, RunsIn::Application, true},
    {command::GetFanSpeedPercent, "GetFanSpeedPercent", getFanPercent, 8, RunsIn::Application,
     false},
};

}  // namespace

std::span<const CommandEntry> settingsCommands() { return kCommands; }

}  // namespace qx5::sim
