// Housekeeping: the company name the gauge shows, its power-down hour, battery level, and
// saving or restoring its settings.
#include <algorithm>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"

namespace command = qx5::command;
using qx5::api::Command;
using qx5::api::CommandPacket;
using qx5::api::Group;
using qx5::api::Outcome;
using qx5::api::ReplyPacket;

namespace {

constexpr Command kSetCompanyName{.code = command::SetCompanyName};
constexpr Command kGetCompanyName{.code = command::GetCompanyName};
constexpr Command kEnableCompanyName{.code = command::EnableCompanyName};
constexpr Command kGetPowerDownHour{.code = command::GetPowerDownHour};
constexpr Command kSetPowerDownHour{.code = command::SetPowerDownHour};
constexpr Command kGetBatteryLevel{.code = command::GetBatteryLevel};
constexpr Command kSaveToEeprom{.code = command::SaveToEEPROM};
constexpr Command kRestoreFactoryDefault{.code = command::RestoreFactoryDefault,
                                         .group = Group::Early};

constexpr std::uint32_t kCompanyNameMax = 28;
constexpr int kCompanyLength = 8, kCompanyText = 9;
constexpr const char* kNoReply = "Reply not received from QX5";

// The company name has no length byte: whatever arrived, at most 28 bytes, up to a zero byte,
// without the blanks the gauge pads it with in front.
std::string companyName(const ReplyPacket& reply) {
  const std::uint32_t received =
      reply.count() > qx5::packet::kMinimumReply ? reply.count() - qx5::packet::kMinimumReply : 0;
  const std::uint32_t length = std::min(received, kCompanyNameMax);
  std::string text;
  for (std::uint32_t i = 0; i < length; ++i) {
    const char c = static_cast<char>(reply.u8(qx5::packet::kReplyDataOffset + static_cast<int>(i)));
    if (c == '\0') break;
    if (c == ' ' && text.empty()) continue;
    text += c;
  }
  return text;
}

}  // namespace

bool qx5::exports::SetCompanyName(BSTR* name) {
  QX5_LOG_SCOPE(scope, "SetCompanyName", "SetCompanyName");
  scope.Info("SetCompanyName");
  if (!name) return false;
  const std::uint32_t length = std::min(SysStringByteLen(*name), kCompanyNameMax);
  const Outcome outcome = qx5::api::exchangeCommand(scope, kSetCompanyName, [&](CommandPacket& p) {
    p.u8(kCompanyLength, static_cast<std::uint8_t>(length));
    p.bytes(kCompanyText, *name, length);
    // A full-length name ends one byte past the default packet: send that byte too.
    if (kCompanyText + length > qx5::packet::kDefaultLength)
      p.setLength(static_cast<std::uint8_t>(kCompanyText + length));
  });
  if (outcome == Outcome::Done) return true;
  // The caller's previous string stays theirs: it may be referenced elsewhere.
  if (outcome == Outcome::Failed) *name = qx5::api::makeBstr(kNoReply);
  return false;
}

BSTR qx5::exports::GetCompanyName(void) {
  QX5_LOG_SCOPE(scope, "GetCompanyName", "GetCompanyName");
  const auto text = qx5::api::textCommand(scope, kGetCompanyName, "--", companyName);
  if (text) scope.Info("GetCompanyName = \"%s\"", text->c_str());
  return qx5::api::textResult(text);
}

bool qx5::exports::EnableCompanyName(unsigned char on) {
  QX5_LOG_SCOPE(scope, "EnableCompanyName", "EnableCompanyName %d", on);
  scope.Info("EnableCompanyName %d", on);
  return qx5::api::sendCommand(scope, kEnableCompanyName, qx5::api::byteParameter(on ? 1 : 0));
}

bool qx5::exports::DisableCompanyName(unsigned char off) {
  QX5_LOG_SCOPE(scope, "DisableCompanyName", "DisableCompanyName %d", off);
  scope.Info("DisableCompanyName %d", off);
  if (!qx5::api::initialiseOnDemand()) return false;
  return EnableCompanyName(off ? 0 : 1);
}

unsigned char qx5::exports::GetPowerDownHour(void) {
  QX5_LOG_SCOPE(scope, "GetPowerDownHour", "GetPowerDownHour");
  const Outcome outcome =
      qx5::api::exchangeCommand(scope, kGetPowerDownHour, qx5::api::kNoParameters);
  if (outcome == Outcome::Refused) return 0;
  const std::uint8_t hour =
      outcome == Outcome::Done
          ? qx5::api::guarded(scope, std::uint8_t{0}, [] { return qx5::api::replyPacket().u8(8); })
          : 0;
  scope.Info("GetPowerDownHour = %d", hour);
  return hour;
}

bool qx5::exports::SetPowerDownHour(unsigned char hour) {
  QX5_LOG_SCOPE(scope, "SetPowerDownHour", "SetPowerDownHour %d", hour);
  scope.Info("SetPowerDownHour %d", hour);
  return qx5::api::sendCommand(scope, kSetPowerDownHour, qx5::api::byteParameter(hour));
}

int32_t qx5::exports::GetBatteryLevel(void) {
  QX5_LOG_SCOPE(scope, "GetBatteryLevel", "GetBatteryLevel");
  return qx5::api::runCommand(scope, kGetBatteryLevel, std::int32_t{0}, qx5::api::kNoParameters,
                              [&](const ReplyPacket& reply) {
                                const std::int32_t level = reply.u16le(8);
                                scope.Info("GetBatteryLevel = %d", level);
                                return level;
                              });
}

bool qx5::exports::SaveToEEPROM(void) {
  QX5_LOG_SCOPE(scope, "SaveToEEPROM", "SaveToEEPROM");
  scope.Info("SaveToEEPROM");
  return qx5::api::sendCommand(scope, kSaveToEeprom);
}

bool qx5::exports::RestoreFactoryDefault(void) {
  QX5_LOG_SCOPE(scope, "RestoreFactoryDefault", "RestoreFactoryDefault");
  scope.Info("RestoreFactoryDefault");
  return qx5::api::sendCommand(scope, kRestoreFactoryDefault);
}
