// Calibration: the calibration date, range and the hardware and software slopes.
#include <cstdio>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/platform/LocalTime.h"

namespace command = qx5::command;
using qx5::api::Command;
using qx5::api::CommandPacket;
using qx5::api::Group;
using qx5::api::ReplyPacket;

namespace {

constexpr Command kGetCalibrationDate{.code = command::GetCalibrationDate};
constexpr Command kSetDate{.code = command::SetDate};
constexpr Command kSetCustomDate{.code = command::SetDate, .group = Group::Early};
constexpr Command kSetCalibrationRange{.code = command::SetCalibrationRange, .group = Group::Early};
constexpr Command kReadHardwareSlope{.code = command::ReadHardwareSlope};
constexpr Command kWriteHardwareSlope{.code = command::WriteHardwareSlope};
constexpr Command kReadSoftwareSlope{.code = command::ReadSoftwareSlope};
constexpr Command kWriteSoftwareSlope{.code = command::WriteSoftwareSlope};

// Date fields, both ways: day, month, 16-bit year.
constexpr int kDay = 8, kMonth = 9, kYear = 10;
// Software slope fields: the value (slope x 3 / 1023), the port and the range.
constexpr int kSlopeValue = 12, kSlopePort = 16, kSlopeRange = 17;
constexpr std::size_t kDateTextMax = 11;

// Hardware slope index i travels in byte 8 + i: a write sends the default 36 bytes, a read
// finds it in the 64-byte reply.
constexpr unsigned kWrittenSlopes = qx5::packet::kDefaultLength - qx5::packet::kParamsOffset;
constexpr unsigned kReadSlopes = qx5::packet::kBufferSize - qx5::packet::kReplyDataOffset;

bool isLeapYear(std::uint32_t year) {
  return (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
}

unsigned daysInMonth(std::uint32_t year, unsigned month) {
  switch (month) {
    case 4:
    case 6:
    case 9:
    case 11:
      return 30;
    case 2:
      return isLeapYear(year) ? 29 : 28;
    default:
      return 31;
  }
}

bool isValidDate(std::uint32_t year, unsigned month, unsigned day) {
  if (year < 1900 || month == 0 || month > 12) return false;
  return day != 0 && day <= daysInMonth(year, month);
}

auto dateParameters(std::uint32_t year, std::uint8_t month, std::uint8_t day) {
  return [=](CommandPacket& packet) {
    packet.u8(kDay, day);
    packet.u8(kMonth, month);
    packet.u16le(kYear, static_cast<std::uint16_t>(year));  // the gauge keeps 16 bits
  };
}

}  // namespace

BSTR qx5::exports::GetCalibrationDate(void) {
  QX5_LOG_SCOPE(scope, "GetCalibrationDate", "GetCalibrationData");
  return qx5::api::textResult(qx5::api::textCommand(
      scope, kGetCalibrationDate, "yyyy-mm-dd", [&](const ReplyPacket& reply) {
        char formatted[32];
        std::snprintf(formatted, sizeof formatted, "%04d-%02d-%02d", reply.u16le(kYear),
                      reply.u8(kMonth), reply.u8(kDay));
        const std::string text = std::string(formatted).substr(0, kDateTextMax);
        scope.Info("GetCalibrationData = \"%s\"", text.c_str());
        return text;
      }));
}

bool qx5::exports::SetDate(void) {
  QX5_LOG_SCOPE(scope, "SetDate", "SetDate");
  scope.Info("SetDate");
  return qx5::api::sendCommand(scope, kSetDate, [](CommandPacket& packet) {
    const qx5::platform::LocalTime now = qx5::platform::localTimeNow();
    dateParameters(static_cast<std::uint32_t>(now.year), static_cast<std::uint8_t>(now.month),
                   static_cast<std::uint8_t>(now.day))(packet);
  });
}

bool qx5::exports::SetCustomDate(uint32_t year, unsigned char month, unsigned char day) {
  QX5_LOG_SCOPE(scope, "SetCustomDate", "SetCustomDate %d,%d,%d", static_cast<int>(year), month,
                day);
  scope.Info("SetCustomDate %d,%d,%d", static_cast<int>(year), month, day);
  // Initialised before the date is judged, so the command itself need not initialise again.
  if (!qx5::api::initialiseOnDemand()) return false;
  if (!isValidDate(year, month, day)) return false;
  return qx5::api::sendCommand(scope, kSetCustomDate, dateParameters(year, month, day));
}

bool qx5::exports::SetCalibrationRange(unsigned char range) {
  QX5_LOG_SCOPE(scope, "SetCalibrationRange", "SetCalibrationRange %d", range);
  scope.Info("SetCalibrationRange %d", range);
  return qx5::api::sendCommand(scope, kSetCalibrationRange, qx5::api::byteParameter(range));
}

bool qx5::exports::ReadWriteHardwareSlope(unsigned char read, unsigned char index,
                                          unsigned char* value) {
  QX5_LOG_SCOPE(scope, "ReadWriteHardwareSlope", "ReadWriteHardwareSlope %d %d", read, index);
  // An index past the packet would reach beyond the buffers: refused before anything is sent.
  if (!value || index >= (read ? kReadSlopes : kWrittenSlopes)) return false;
  const int offset = qx5::packet::kParamsOffset + index;
  if (!read) {
    return qx5::api::sendCommand(scope, kWriteHardwareSlope,
                                 [&](CommandPacket& packet) { packet.u8(offset, *value); });
  }
  return qx5::api::runCommand(
      scope, kReadHardwareSlope, false, qx5::api::kNoParameters, [&](const ReplyPacket& reply) {
        *value = reply.u8(offset);
        scope.Info("ReadWriteHardwareSlope(%d,%d) = %d", read, index, *value);
        return true;
      });
}

bool qx5::exports::ReadWriteSoftwareSlope(unsigned char read, unsigned char port,
                                          unsigned char range, float* slope) {
  QX5_LOG_SCOPE(scope, "ReadWriteSoftwareSlope", "ReadWriteSoftwareSlope %d %d %d", read, port,
                range);
  if (!slope) return false;
  auto slot = [&](CommandPacket& packet) {
    packet.u8(kSlopePort, port);
    packet.u8(kSlopeRange, range);
  };
  if (!read) {
    // The gauge keeps slope x 3 / 1023; the caller's variable is left holding that wire value.
    return qx5::api::sendCommand(scope, kWriteSoftwareSlope, [&](CommandPacket& packet) {
      *slope = *slope * 3 / 1023;
      packet.f32(kSlopeValue, *slope);
      slot(packet);
    });
  }
  return qx5::api::runCommand(scope, kReadSoftwareSlope, false, slot,
                              [&](const ReplyPacket& reply) {
                                *slope = reply.f32(kSlopeValue) * 1023 / 3;
                                scope.Info("ReadWriteSoftwareSlope Port:Range:Slope %d %d %f", port,
                                           range, static_cast<double>(*slope));
                                return true;
                              });
}
