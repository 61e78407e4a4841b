// The fan and the gauge's own pressure control: fan speed, flow and room pressure targets, the
// at-pressure table and the room PID constants.
#include "qx5_dll/api/ExportFrame.h"

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

QX5_API bool QX5_CALL SetFanSpeed(float* speed) {
  const qx5::api::ExportLock exportLock;
  return sendTarget<kSetFanSpeed>(speed);
}
QX5_API bool QX5_CALL SetFlowPressure(float* pressure) {
  const qx5::api::ExportLock exportLock;
  return sendTarget<kSetFlowPressure>(pressure);
}
QX5_API bool QX5_CALL SetRoomPressure(float* pressure) {
  const qx5::api::ExportLock exportLock;
  return sendTarget<kSetRoomPressure>(pressure);
}

QX5_API float QX5_CALL GetFanSpeed(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetFanSpeed>();
}
QX5_API float QX5_CALL GetFanSpeedPercent(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetFanSpeedPercent>();
}
QX5_API float QX5_CALL GetFanVersion(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetFanVersion>();
}

QX5_API bool QX5_CALL SetAtPressure(unsigned char index, float* pressure) {
  const qx5::api::ExportLock exportLock;
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
QX5_API float QX5_CALL GetAtPressure(unsigned char index) {
  const qx5::api::ExportLock exportLock;
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

QX5_API bool QX5_CALL SetRoomPIDConstant(unsigned char index, float* value) {
  const qx5::api::ExportLock exportLock;
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

QX5_API float QX5_CALL GetRoomPIDConstant(unsigned char index) {
  const qx5::api::ExportLock exportLock;
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
