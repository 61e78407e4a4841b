// The gauge's identity: serial number, firmware and USB processor versions, model.
#include <cstdio>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/transport/mchpusb.h"

namespace command = qx5::command;
using qx5::api::Command;
using qx5::api::Group;
using qx5::api::ReplyPacket;

namespace {

constexpr Command kGetSerialNumber{.code = command::GetSerialNumber, .group = Group::Early};
constexpr Command kSetSerialNumber{.code = command::SetSerialNumber, .group = Group::Early};
constexpr Command kGetFirmwareVersion{.code = command::GetQX5FirmwareVersion};
// The USB processor answers one-byte packets without the command header.
constexpr Command kUsbCpuVersion{.length = 1, .headerless = true};
constexpr Command kUsbCpuReset{.length = 1, .headerless = true};

constexpr std::uint32_t kFirmwareVersionMax = 40;
constexpr std::size_t kUsbCpuVersionMax = 29;

// A model query: one command, a yes/no read from data byte 8.
struct ModelQuery {
  const char* name;
  Command command;
  bool (*answersYes)(std::uint8_t byte8);
};

// The MKII answers with its own command code; anything else is an older gauge.
constexpr ModelQuery kIsMkII{
    "IsQX5MKII", {.code = command::IsQX5MKII}, [](std::uint8_t b) { return b == 62; }};
constexpr ModelQuery kIsModelA{
    "IsQX5A", {.code = command::IsQX5A}, [](std::uint8_t b) { return b != 0; }};

bool askModel(qx5::LogFunction& scope, const ModelQuery& query) {
  return qx5::api::runCommand(scope, query.command, false, qx5::api::kNoParameters,
                              [&](const ReplyPacket& reply) {
                                const bool yes = query.answersYes(reply.u8(8));
                                scope.Info("%s = %s", query.name, yes ? "True" : "False");
                                return yes;
                              });
}

void reportSerialNumber(int serial) {
  qx5::api::GaugeAccess gauge = qx5::api::call().gauge();
  if (!gauge) return;
  qx5::mchpusb* list = qx5::api::library().deviceList;
  if (qx5::api::call().throughHandle() || !list) {
    gauge->FoundNewSerialNumber(serial);
    return;
  }
  std::atomic<std::int32_t>& known = list->slotSerial(static_cast<std::uint32_t>(gauge->index));
  gauge->FoundNewSerialNumber(serial, known.exchange(serial));
}

// Data bytes a reply announces in byte 5, limited to what arrived and to `max`.
std::uint32_t announcedLength(qx5::LogFunction& scope, const ReplyPacket& reply,
                              std::uint32_t max) {
  std::uint32_t length = reply.u8(qx5::packet::kReplyDataLengthOffset);
  const std::uint32_t inBuffer =
      reply.count() > qx5::packet::kMinimumReply ? reply.count() - qx5::packet::kMinimumReply : 0;
  if (length > inBuffer) {
    scope.Detail("length is %d, but max in buffer is %d", static_cast<int>(length),
                 static_cast<int>(inBuffer));
    length = inBuffer;
  }
  if (length > max) {
    scope.Error("length is %d, but max is %d", static_cast<int>(length), static_cast<int>(max));
    length = max;
  }
  return length;
}

}  // namespace

int32_t qx5::exports::GetSerialNumber(void) {
  QX5_LOG_SCOPE(scope, "GetSerialNumber", "GetSerialNumber");
  const std::int32_t serial =
      qx5::api::runCommand(scope, kGetSerialNumber, std::int32_t{-1}, qx5::api::kNoParameters,
                           [&](const ReplyPacket& reply) {
                             const std::int32_t value = reply.i32le(8);
                             scope.Info("GetSerialNumber = %d", value);
                             return value;
                           });
  // The slot learns what answered it, -1 after a failure.
  reportSerialNumber(serial);
  return serial;
}

bool qx5::exports::SetSerialNumber(int32_t* serialNumber) {
  const int value = serialNumber ? *serialNumber : 0;
  QX5_LOG_SCOPE(scope, "SetSerialNumber", "SetSerialNumber %d", value);
  scope.Info("SetSerialNumber %d", value);
  if (!serialNumber) return false;
  // The slot's record learns the new number at the next GetSerialNumber.
  return qx5::api::sendCommand(scope, kSetSerialNumber, [&](qx5::api::CommandPacket& packet) {
    packet.i32le(8, *serialNumber);
  });
}

BSTR qx5::exports::GetQX5FirmwareVersion(void) {
  QX5_LOG_SCOPE(scope, "GetQX5FirmwareVersion", "GetQX5FirmwareVersion");
  return qx5::api::textResult(
      qx5::api::textCommand(scope, kGetFirmwareVersion, "---", [&](const ReplyPacket& reply) {
        const std::string text = reply.text(8, announcedLength(scope, reply, kFirmwareVersionMax));
        scope.Info("GetQX5FirmwareVersion = \"%s\"", text.c_str());
        return text;
      }));
}

bool qx5::exports::IsQX5MKII(void) {
  QX5_LOG_SCOPE(scope, "IsQX5MKII", "IsQX5MKII");
  return askModel(scope, kIsMkII);
}

bool qx5::exports::IsQX5A(void) {
  QX5_LOG_SCOPE(scope, "IsQX5A", "IsQX5A");
  return askModel(scope, kIsModelA);
}

BSTR qx5::exports::GetUSBCPUVersion(void) {
  QX5_LOG_SCOPE(scope, "GetUSBCPUVersion", "GetUSBCPUVersion");
  return qx5::api::textResult(
      qx5::api::textCommand(scope, kUsbCpuVersion, "major.minor", [&](const ReplyPacket& reply) {
        char text[kUsbCpuVersionMax + 1];
        std::snprintf(text, sizeof text, "%d.%d", reply.u8(3), reply.u8(2));
        scope.Info("GetUSBCPUVersion = \"%s\"", text);
        return std::string(text);
      }));
}

bool qx5::exports::ResetUSBCPU(void) {
  QX5_LOG_SCOPE(scope, "ResetUSBCPU", "ResetUSBCPU");
  const auto outcome =
      qx5::api::exchangeCommand(scope, kUsbCpuReset, [&](qx5::api::CommandPacket& packet) {
        packet.u8(0, qx5::packet::kResetMarker);
        scope.Info("ResetUSBCPU");
      });
  if (outcome == qx5::api::Outcome::Refused) return false;
  const bool written = outcome == qx5::api::Outcome::Done;
  scope.Info(written ? "ResetUSBCPU - success" : "ResetUSBCPU - failure");
  return written;
}
