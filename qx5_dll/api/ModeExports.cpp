// The gauge's settings: measuring mode, device and range with their names, time averaging,
// auto zero, constant N, reverse and relative mode, keypad, backlight and power.
#include <algorithm>
#include <string>

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
        library().maxRange = reply.u8(8);
        library().maxDevice = reply.u8(9);
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
        library().autoZero = on;
        return true;
      });
}

}  // namespace

QX5_API bool QX5_CALL SetMode(unsigned char mode) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kSetMode>(mode);
}
QX5_API bool QX5_CALL SetConstN(unsigned char value) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kSetConstN>(value);
}
QX5_API bool QX5_CALL SetReverseMode(unsigned char on) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kSetReverseMode>(on);
}
QX5_API bool QX5_CALL SetRelPresStatus(unsigned char on) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kSetRelPresStatus>(on);
}
QX5_API bool QX5_CALL PushButton(unsigned char button) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kPushButton>(button);
}
QX5_API bool QX5_CALL BackLightOn(unsigned char on) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kBackLightOn>(on);
}
QX5_API bool QX5_CALL EnterSetUp(void) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kEnterSetUp>(0);
}
QX5_API bool QX5_CALL Abort(void) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kAbort>(0);
}
QX5_API bool QX5_CALL QX5_Off(void) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kPowerOff>(0);
}
QX5_API bool QX5_CALL ChangeTimeAverage(void) {
  const qx5::api::ExportLock exportLock;
  return sendSetter<kChangeTimeAverage>(0);
}

QX5_API unsigned char QX5_CALL GetAtMode(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetAtMode>();
}
QX5_API float QX5_CALL GetConstN(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetConstN>();
}
QX5_API bool QX5_CALL GetReverseModeStatus(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetReverseModeStatus>();
}
QX5_API bool QX5_CALL GetRelPresStatus(void) {
  const qx5::api::ExportLock exportLock;
  return queryGetter<kGetRelPresStatus>();
}

QX5_API bool QX5_CALL SetAtMode(unsigned char mode) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetAtMode", "SetAtMode %d", mode);
  scope.Info("SetAtMode %d", mode);
  if (!qx5::api::initialiseOnDemand()) return false;
  return SetMode(mode);
}

QX5_API bool QX5_CALL BackLightOff(unsigned char off) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "BackLightOff", "BackLightOff %d", off);
  scope.Info("BackLightOff %d", off);
  if (!qx5::api::initialiseOnDemand()) return false;
  return BackLightOn(asInvertedFlag(off));
}

QX5_API bool QX5_CALL SetRange(unsigned char range) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range);
  scope.Info("SetRange %d", range);
  return select(scope, command::SetRange, range);
}

QX5_API bool QX5_CALL SetDevice(unsigned char device) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetDevice", "SetDevice %d", device);
  scope.Info("SetDevice %d", device);
  return select(scope, command::SetDevice, device);
}

QX5_API unsigned char QX5_CALL GetNumberOfRanges(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetNumberOfRanges", "GetNumberOfRanges");
  return library().maxRange;
}

QX5_API unsigned char QX5_CALL GetNumberOfDevices(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetNumberOfDevices", "GetNumberOfDevices");
  return library().maxDevice;
}

QX5_API BSTR QX5_CALL GetDeviceName(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetDeviceName", "GetDeviceName");
  return queryText(scope, command::GetDeviceName, kNoLimit, true);
}

QX5_API BSTR QX5_CALL GetDeviceRange(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetDeviceRange", "GetDeviceRange");
  return queryText(scope, command::GetDeviceRange, kNoLimit, true);
}

QX5_API BSTR QX5_CALL GetDeviceRanges(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetDeviceRanges", "GetDeviceRanges");
  return queryText(scope, command::GetDeviceRanges, kRangeListMax, false);
}

QX5_API BSTR QX5_CALL TimeAverageMode(void) {
  const qx5::api::ExportLock exportLock;
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

QX5_API bool QX5_CALL SetTimeAvgOff(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetTimeAvgOff", "SetTimeAvgOff");
  scope.Info("SetTimeAvgOff");
  return runCommand(
      scope, {.code = command::SetTimeAvgOff}, false,
      [](CommandPacket& packet) { packet.u8(8, 0); },
      [](const ReplyPacket& reply) { return reply.u8(8) != 0; });
}

QX5_API bool QX5_CALL SetAutoZeroOn(unsigned char on) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetAutoZeroOn", "SetAutoZeroOn %d", on);
  scope.Info("SetAutoZeroOn %d", on);
  return sendAutoZero(scope, on != 0);
}

QX5_API bool QX5_CALL SetAutoZeroOff(unsigned char off) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "SetAutoZeroOff", "SetAutoZeroOff %d", off);
  scope.Info("SetAutoZeroOff %d", off);
  library().autoZero = false;
  return sendAutoZero(scope, off == 0);
}

QX5_API bool QX5_CALL GetAutoZero(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetAutoZero", "GetAutoZero");
  return qx5::api::initialiseOnDemand() && library().autoZero;
}
