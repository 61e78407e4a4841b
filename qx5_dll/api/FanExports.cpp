// The fan and the gauge's own pressure control: fan speed, flow and room pressure targets, the
// at-pressure table and the room PID constants.
#include "qx5_dll/api/ExportFrame.h"
#include "qx5_export_bodies.h"

using namespace qx5::api;
using qx5::LogFunction;

namespace {

constexpr Target kSetFanSpeed{"SetFanSpeed", "SetFanSpeed %5.2f", command::SetFanSpeed};
constexpr Target kSetFlowPressure{"SetFlowPressure", "SetFlowPressure %5.2f",
                                  command::SetFlowPressure};
constexpr Target kSetRoomPressure{"SetRoomPressure", "SetRoomPressure %5.2f",
                                  command::SetRoomPressure};

// The fan's drive is a 10-bit value; the export gives it in percent of full scale.
constexpr Getter<float> kGetFanSpeed{
    "GetFanSpeed",
    "GetFanSpeed",
    command::GetFanSpeed,
    Group::Initialising,
    -1.0f,
    [](const ReplyPacket& reply) { return static_cast<float>(reply.u16le(8) * 100 / 1023.0); },
    [](LogFunction& scope, float value) { scope.Info("GetFanSpeed = %g", value); }};
constexpr Getter<float> kGetFanSpeedPercent{
    "GetFanSpeedPercent",
    "GetFanSpeedPercent",
    command::GetFanSpeedPercent,
    Group::Initialising,
    -1.0f,
    [](const ReplyPacket& reply) { return reply.f32(8); },
    [](LogFunction& scope, float value) { scope.Info("GetFanSpeedPercent = %g", value); }};
constexpr Getter<float> kGetFanVersion{
    "GetFanVersion",
    "GetFanVersion",
    command::GetFanVersion,
    Group::Initialising,
    0.0f,
    [](const ReplyPacket& reply) { return reply.f32(8); },
    [](LogFunction& scope, float value) { scope.Info("GetFanVersion %g", value); }};

}  // namespace

bool qx5::exports::SetFanSpeed(float* speed) { return sendTarget<kSetFanSpeed>(speed); }
bool qx5::exports::SetFlowPressure(float* pressure) {
  return sendTarget<kSetFlowPressure>(pressure);
}
bool qx5::exports::SetRoomPressure(float* pressure) {
  return sendTarget<kSetRoomPressure>(pressure);
}

float qx5::exports::GetFanSpeed(void) { return queryGetter<kGetFanSpeed>(); }
float qx5::exports::GetFanSpeedPercent(void) { return queryGetter<kGetFanSpeedPercent>(); }
float qx5::exports::GetFanVersion(void) { return queryGetter<kGetFanVersion>(); }

bool qx5::exports::SetAtPressure(unsigned char index, float* pressure) {
  const double shown = pressure ? *pressure : 0.0;
  QX5_LOG_SCOPE(scope, "SetAtPressure", "SetAtPressure %d %5.2f", index, shown);
  scope.Info("SetAtPressure %d %5.2f", index, shown);
  if (!pressure) {
    scope.Error("SetAtPressure: no value given");
    return false;
  }
  return runCommand(
      scope, {.code = command::SetAtPressure}, false,
      [&](CommandPacket& packet) {
        packet.u8(8, index);
        packet.i16le(9, truncatedToInt16(*pressure));
      },
      [](const ReplyPacket&) { return true; });
}

// The table holds hundredths.
float qx5::exports::GetAtPressure(unsigned char index) {
  QX5_LOG_SCOPE(scope, "GetAtPressure", "GetAtPressure %d", index);
  return runCommand(
      scope, {.code = command::GetAtPressure}, 0.0f,
      [&](CommandPacket& packet) { packet.u8(8, index); },
      [&](const ReplyPacket& reply) {
        const auto value = static_cast<float>(reply.i16le(8) / 100.0);
        scope.Info("GetAtPressure %d = %g", index, value);
        return value;
      });
}

bool qx5::exports::SetRoomPIDConstant(unsigned char index, float* value) {
  const double shown = value ? *value : 0.0;
  QX5_LOG_SCOPE(scope, "SetRoomPIDConstant", "SetRoomPIDConstant %d %5.2f", index, shown);
  scope.Info("SetRoomPIDConstant %d %5.2f", index, shown);
  if (!value) {
    scope.Error("SetRoomPIDConstant: no value given");
    return false;
  }
  return runCommand(
      scope, {.code = command::SetRoomPIDConstant, .group = Group::Early}, false,
      [&](CommandPacket& packet) {
        packet.u8(8, index);
        packet.f32(9, *value);
      },
      [](const ReplyPacket&) { return true; });
}

float qx5::exports::GetRoomPIDConstant(unsigned char index) {
  QX5_LOG_SCOPE(scope, "GetRoomPIDConstant", "GetRoomPIDConstant %d", index);
  return runCommand(
      scope, {.code = command::GetRoomPIDConstant, .group = Group::Early}, 0.0f,
      [&](CommandPacket& packet) { packet.u8(8, index); },
      [&](const ReplyPacket& reply) {
        const float value = reply.f32(8);
        scope.Info("GetRoomPIDConstant(%d) = %g", index, value);
        return value;
      });
}
