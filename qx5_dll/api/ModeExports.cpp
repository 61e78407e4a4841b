// The gauge's settings: measuring mode, device and range with their names, time averaging,
// auto zero, constant N, reverse and relative mode, keypad, backlight and power.
#include <algorithm>
#include <string>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"

using namespace qx5::api;
using qx5::LogFunction;

namespace {

constexpr std::uint8_t kModes = 3;
constexpr std::uint8_t kButtons = 15;

constexpr Setter kSetMode{"SetMode", "SetMode %d", command::SetMode, Group::Initialising,
                          [](std::uint8_t mode) -> std::uint8_t { return mode % kModes; }};
constexpr Setter kSetConstN{"SetConstN", "SetConstN %d", command::SetConstN, Group::Initialising,
                            [](std::uint8_t value) { return value; }};
constexpr Setter kSetReverseMode{"SetReverseMode", "SetReverseMode %d", command::SetReverseMode,
                                 Group::Initialising, asFlag};
constexpr Setter kSetRelPresStatus{"SetRelPresStatus", "SetRelPresStatus",
                                   command::SetRelPresStatus, Group::Initialising, asFlag};
constexpr Setter kPushButton{"PushButton", "PushButton %d", command::PushButton,
                             Group::Initialising,
                             [](std::uint8_t button) -> std::uint8_t { return button % kButtons; }};
constexpr Setter kBackLightOn{"BackLightOn", "BackLightOn %d", command::BackLightOn,
                              Group::Initialising, asFlag};
constexpr Setter kEnterSetUp{"EnterSetUp", "EnterSetUp", command::EnterSetUp};
constexpr Setter kAbort{"Abort", "Abort", command::Abort};
constexpr Setter kPowerOff{"QX5_Off", "QX5_Off", command::PowerOff};
constexpr Setter kChangeTimeAverage{"ChangeTimeAverage", "ChangeTimeAverage",
                                    command::ChangeTimeAverage};

constexpr Getter<std::uint8_t> kGetAtMode{
    "GetAtMode",
    "GetAtMode ",
    command::GetAtMode,
    Group::Initialising,
    0,
    [](const ReplyPacket& reply) { return reply.u8(8); },
    [](LogFunction& scope, std::uint8_t mode) { scope.Info("mode = %s", trueFalse(mode != 0)); }};
constexpr Getter<float> kGetConstN{
    "GetConstN",
    "GetConstN",
    command::GetConstN,
    Group::Initialising,
    0.0f,
    [](const ReplyPacket& reply) { return static_cast<float>(reply.u8(8) / 100.0); },
    [](LogFunction& scope, float value) { scope.Info("constn = %g", value); },
    true};
constexpr Getter<bool> kGetReverseModeStatus{
    "GetReverseModeStatus",
    "GetReverseModeStatus",
    command::GetReverseModeStatus,
    Group::Initialising,
    false,
    [](const ReplyPacket& reply) { return reply.u8(8) != 0; },
    [](LogFunction& scope, bool on) { scope.Info("GetReverseModeStatus = %s", trueFalse(on)); }};
constexpr Getter<bool> kGetRelPresStatus{
    "GetRelPresStatus",
    "GetRelPresStatus",
    command::GetRelPresStatus,
    Group::Initialising,
    false,
    [](const ReplyPacket& reply) { return reply.u8(8) != 0; },
    [](LogFunction& scope, bool on) { scope.Info("GetRelPresStatus = %s", trueFalse(on)); }};

// Device and range selection are one operation: every answered selection tells how many
// ranges the selected device has and how many devices there are.
bool select(LogFunction& scope, std::uint8_t code, std::uint8_t index) {
  return runCommand(
      scope, {.code = code}, false, [&](CommandPacket& packet) { packet.u8(8, index); },
      [](const ReplyPacket& reply) {
        qx5::api::call().remembered().maxRange = reply.u8(8);
        qx5::api::call().remembered().maxDevice = reply.u8(9);
        return true;
      });
}

// A name or list as the gauge sends it: as long as byte 5 says, but never more than arrived, and
// no more than `limit` characters. Names have no limit of their own: they are kept whole, up to
// what one reply can hold.
std::string textReply(LogFunction& scope, const ReplyPacket& reply, std::size_t limit) {
  const std::uint32_t received = std::min<std::uint32_t>(reply.count(), qx5::packet::kBufferSize);
  const int available =
      received > qx5::packet::kReplyDataOffset ? int(received - qx5::packet::kReplyDataOffset) : 0;
  int length = reply.u8(qx5::packet::kReplyDataLengthOffset);
  if (length > available) {
    scope.Detail("length is %d, but max in buffer is %d", length, available);
    length = available;
  }
  if (static_cast<std::size_t>(length) > limit) {
    QX5_LOG_SCOPE(cut, "GetDeviceRanges", "VIRTUAL_GET_DEVICE_RANGES length is %d, but max is %d",
                  length, int(limit));
    length = static_cast<int>(limit);
  }
  return reply.text(qx5::packet::kReplyDataOffset, static_cast<std::size_t>(length));
}

constexpr std::size_t kRangeListMax = 52;
constexpr std::size_t kNoLimit = qx5::packet::kBufferSize;

BSTR queryText(LogFunction& scope, std::uint8_t code, std::size_t limit, bool dropLeadingBlanks) {
  std::string text = "---";
  runCommand(scope, {.code = code, .group = Group::Early}, false, kNoParameters,
             [&](const ReplyPacket& reply) {
               text = textReply(scope, reply, limit);
               if (dropLeadingBlanks) text.erase(0, text.find_first_not_of(' '));
               scope.Info("%s = \"%s\"", scope.name(), text.c_str());
               return true;
             });
  return makeBstr(text);
}

const char* timeAverageName(std::uint8_t mode) {
  static constexpr const char* kNames[] = {"Off", "1s ", "2s ", "4s ", "8s ",
                                           "10s", "20s", "1m ", "2m "};
  return mode < std::size(kNames) ? kNames[mode] : "new";
}

// Sends the auto-zero switch; the flag follows the gauge only when it answered.
bool sendAutoZero(LogFunction& scope, bool on) {
  return runCommand(
      scope, {.code = command::SetAutoZero}, false,
      [&](CommandPacket& packet) {
        packet.u8(8, on ? 1 : 0);
        packet.u8(17, 0);
      },
      [&](const ReplyPacket&) {
        qx5::api::call().remembered().autoZero = on;
        return true;
      });
}

}  // namespace

bool qx5::exports::SetMode(unsigned char mode) { return sendSetter<kSetMode>(mode); }
bool qx5::exports::SetConstN(unsigned char value) { return sendSetter<kSetConstN>(value); }
bool qx5::exports::SetReverseMode(unsigned char on) { return sendSetter<kSetReverseMode>(on); }
bool qx5::exports::SetRelPresStatus(unsigned char on) { return sendSetter<kSetRelPresStatus>(on); }
bool qx5::exports::PushButton(unsigned char button) { return sendSetter<kPushButton>(button); }
bool qx5::exports::BackLightOn(unsigned char on) { return sendSetter<kBackLightOn>(on); }
bool qx5::exports::EnterSetUp(void) { return sendSetter<kEnterSetUp>(0); }
bool qx5::exports::Abort(void) { return sendSetter<kAbort>(0); }
bool qx5::exports::QX5_Off(void) { return sendSetter<kPowerOff>(0); }
bool qx5::exports::ChangeTimeAverage(void) { return sendSetter<kChangeTimeAverage>(0); }

unsigned char qx5::exports::GetAtMode(void) { return queryGetter<kGetAtMode>(); }
float qx5::exports::GetConstN(void) { return queryGetter<kGetConstN>(); }
bool qx5::exports::GetReverseModeStatus(void) { return queryGetter<kGetReverseModeStatus>(); }
bool qx5::exports::GetRelPresStatus(void) { return queryGetter<kGetRelPresStatus>(); }

bool qx5::exports::SetAtMode(unsigned char mode) {
  QX5_LOG_SCOPE(scope, "SetAtMode", "SetAtMode %d", mode);
  scope.Info("SetAtMode %d", mode);
  if (!qx5::api::initialiseOnDemand()) return false;
  return SetMode(mode);
}

bool qx5::exports::BackLightOff(unsigned char off) {
  QX5_LOG_SCOPE(scope, "BackLightOff", "BackLightOff %d", off);
  scope.Info("BackLightOff %d", off);
  if (!qx5::api::initialiseOnDemand()) return false;
  return BackLightOn(asInvertedFlag(off));
}

bool qx5::exports::SetRange(unsigned char range) {
  QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range);
  scope.Info("SetRange %d", range);
  return select(scope, command::SetRange, range);
}

bool qx5::exports::SetDevice(unsigned char device) {
  QX5_LOG_SCOPE(scope, "SetDevice", "SetDevice %d", device);
  scope.Info("SetDevice %d", device);
  return select(scope, command::SetDevice, device);
}

unsigned char qx5::exports::GetNumberOfRanges(void) {
  QX5_LOG_SCOPE(scope, "GetNumberOfRanges", "GetNumberOfRanges");
  return qx5::api::call().remembered().maxRange;
}

unsigned char qx5::exports::GetNumberOfDevices(void) {
  QX5_LOG_SCOPE(scope, "GetNumberOfDevices", "GetNumberOfDevices");
  return qx5::api::call().remembered().maxDevice;
}

BSTR qx5::exports::GetDeviceName(void) {
  QX5_LOG_SCOPE(scope, "GetDeviceName", "GetDeviceName");
  return queryText(scope, command::GetDeviceName, kNoLimit, true);
}

BSTR qx5::exports::GetDeviceRange(void) {
  QX5_LOG_SCOPE(scope, "GetDeviceRange", "GetDeviceRange");
  return queryText(scope, command::GetDeviceRange, kNoLimit, true);
}

BSTR qx5::exports::GetDeviceRanges(void) {
  QX5_LOG_SCOPE(scope, "GetDeviceRanges", "GetDeviceRanges");
  return queryText(scope, command::GetDeviceRanges, kRangeListMax, false);
}

BSTR qx5::exports::TimeAverageMode(void) {
  QX5_LOG_SCOPE(scope, "TimeAverageMode", "TimeAverageMode");
  std::string name = "---";
  const Outcome outcome =
      exchangeCommand(scope, {.code = command::ChangeTimeAverage}, kNoParameters);
  if (outcome == Outcome::Refused) return nullptr;
  if (outcome == Outcome::Done) {
    guarded(scope, false, [&] {
      const std::uint8_t mode = replyPacket().u8(8);
      name = timeAverageName(mode);
      scope.Info("TimeAverageMode = %d - %s", mode, name.c_str());
      return true;
    });
  }
  return makeBstr(name);
}

bool qx5::exports::SetTimeAvgOff(void) {
  QX5_LOG_SCOPE(scope, "SetTimeAvgOff", "SetTimeAvgOff");
  scope.Info("SetTimeAvgOff");
  return runCommand(
      scope, {.code = command::SetTimeAvgOff}, false,
      [](CommandPacket& packet) { packet.u8(8, 0); },
      [](const ReplyPacket& reply) { return reply.u8(8) != 0; });
}

bool qx5::exports::SetAutoZeroOn(unsigned char on) {
  QX5_LOG_SCOPE(scope, "SetAutoZeroOn", "SetAutoZeroOn %d", on);
  scope.Info("SetAutoZeroOn %d", on);
  return sendAutoZero(scope, on != 0);
}

bool qx5::exports::SetAutoZeroOff(unsigned char off) {
  QX5_LOG_SCOPE(scope, "SetAutoZeroOff", "SetAutoZeroOff %d", off);
  scope.Info("SetAutoZeroOff %d", off);
  qx5::api::call().remembered().autoZero = false;
  return sendAutoZero(scope, off == 0);
}

bool qx5::exports::GetAutoZero(void) {
  QX5_LOG_SCOPE(scope, "GetAutoZero", "GetAutoZero");
  return qx5::api::initialiseOnDemand() && qx5::api::call().remembered().autoZero;
}
