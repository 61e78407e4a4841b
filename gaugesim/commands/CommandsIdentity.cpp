// Identity, calibration and housekeeping: serial number, versions, model flags, dates,
// slopes, company name, power-down hour, EEPROM save and factory defaults, chipset.
#include <algorithm>

#include "gaugesim/commands/CommandTable.h"
#include "gaugesim/commands/SettingHandlers.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"

namespace qx5::sim {
namespace {

constexpr std::size_t kVersionMax = 40;
constexpr std::uint8_t kMkIIAnswer = 62;
constexpr std::size_t kSlopeValue = 12;
constexpr std::size_t kSlopePort = 16;
constexpr std::size_t kSlopeRange = 17;

void getSerial(Gauge& gauge, const Request&, Reply& reply) { reply.i32(8, gauge.reportedSerial()); }

void setSerial(Gauge& gauge, const Request& request, Reply&) {
  gauge.settings.serial = request.i32(8);
}

void firmwareVersion(Gauge& gauge, const Request&, Reply& reply) {
  reply.text(gauge.firmwareVersion(), kVersionMax);
}

void isMkII(Gauge& gauge, const Request&, Reply& reply) {
  reply.u8(8, gauge.config().mkii ? kMkIIAnswer : 0);
}

void isModelA(Gauge& gauge, const Request&, Reply& reply) {
  reply.u8(8, gauge.config().modelA ? 1 : 0);
}

void getDate(Gauge& gauge, const Request&, Reply& reply) {
  const CalendarDate& date = gauge.settings.calibration;
  reply.u8(8, date.day);
  reply.u8(9, date.month);
  reply.u16(10, date.year);
}

void setDate(Gauge& gauge, const Request& request, Reply& reply) {
  const CalendarDate date{request.u8(8), request.u8(9), request.u16(10)};
  if (date.day < 1 || date.day > 31 || date.month < 1 || date.month > 12) return reply.fail();
  gauge.settings.calibration = date;
}

bool slopeSlot(const Request& request) {
  return request.u8(kSlopePort) < 2 && request.u8(kSlopeRange) < kSlopeEntries;
}

void readSoftwareSlope(Gauge& gauge, const Request& request, Reply& reply) {
  if (!slopeSlot(request)) return reply.fail();
  reply.f32(kSlopeValue,
            gauge.settings.softwareSlopes[request.u8(kSlopeRange)][request.u8(kSlopePort)]);
  reply.u8(kSlopePort, request.u8(kSlopePort));
  reply.u8(kSlopeRange, request.u8(kSlopeRange));
}

void writeSoftwareSlope(Gauge& gauge, const Request& request, Reply& reply) {
  if (!slopeSlot(request)) return reply.fail();
  gauge.settings.softwareSlopes[request.u8(kSlopeRange)][request.u8(kSlopePort)] =
      request.f32(kSlopeValue);
}

void readHardwareSlopes(Gauge& gauge, const Request&, Reply& reply) {
  for (std::size_t i = 0; i < kHardwareSlopes; ++i)
    reply.u8(8 + i, gauge.settings.hardwareSlopes[i]);
}

// The firmware copies the whole table from the packet.
void writeHardwareSlopes(Gauge& gauge, const Request& request, Reply&) {
  for (std::size_t i = 0; i < kHardwareSlopes; ++i)
    gauge.settings.hardwareSlopes[i] = request.u8(8 + i);
}

void setCompany(Gauge& gauge, const Request& request, Reply& reply) {
  const std::size_t count = request.u8(8);
  const std::uint8_t* text = request.span(9, count);
  if (count > kCompanyNameMax || !text) return reply.fail();
  const auto end = std::find(text, text + count, 0);
  gauge.settings.company.assign(text, end);
}

void getCompany(Gauge& gauge, const Request&, Reply& reply) {
  reply.text(gauge.settings.company, kCompanyNameMax);
}

void saveToEeprom(Gauge& gauge, const Request&, Reply&) { gauge.saveToEeprom(); }

void factoryDefaults(Gauge& gauge, const Request&, Reply& reply) {
  if (!gauge.restoreFactoryDefaults()) reply.fail();
}

void chipset(Gauge& gauge, const Request&, Reply& reply) { reply.u32(8, gauge.config().chipset); }

constexpr CommandEntry kCommands[] = {
    {command::ReadSoftwareSlope, "ReadSoftwareSlope", readSoftwareSlope, 18, RunsIn::Application,
     false},
    {command::WriteSoftwareSlope, "WriteSoftwareSlope", writeSoftwareSlope, 18, RunsIn::Application,
     true},
    {command::SetCalibrationRange, "SetCalibrationRange", setByte<&Settings::calibrationRange>, 9,
     RunsIn::Application, true},
    {command::ReadHardwareSlope, "ReadHardwareSlope", readHardwareSlopes, 8, RunsIn::Application,
     false},
    {command::WriteHardwareSlope, "WriteHardwareSlope", writeHardwareSlopes, 8 + kHardwareSlopes,
     RunsIn::Application, true},
    {command::SaveToEEPROM, "SaveToEEPROM", saveToEeprom, 8, RunsIn::Application, true},
    {command::SetSerialNumber, "SetSerialNumber", setSerial, 12, RunsIn::Application, true},
    {command::GetSerialNumber, "GetSerialNumber", getSerial, 8, RunsIn::Both, false},
    {command::GetQX5FirmwareVersion, "GetQX5FirmwareVersion", firmwareVersion, 8, RunsIn::Both,
     false},
    {command::RestoreFactoryDefault, "RestoreFactoryDefault", factoryDefaults, 8,
     RunsIn::Application, true},
    {command::GetCalibrationDate, "GetCalibrationDate", getDate, 8, RunsIn::Application, false},
    {command::SetDate, "SetDate", setDate, 12, RunsIn::Application, true},
    {command::SetCompanyName, "SetCompanyName", setCompany, 9, RunsIn::Application, true},
    {command::GetCompanyName, "GetCompanyName", getCompany, 8, RunsIn::Application, false},
    {command::EnableCompanyName, "EnableCompanyName", setFlag<&Settings::companyEnabled>, 9,
     RunsIn::Application, true},
    {command::IsQX5MKII, "IsQX5MKII", isMkII, 8, RunsIn::Application, false},
    {command::IsQX5A, "IsQX5A", isModelA, 8, RunsIn::Application, false},
    {command::GetPowerDownHour, "GetPowerDownHour", getByte<&Settings::powerDownHour>, 8,
     RunsIn::Application, false},
    {command::SetPowerDownHour, "SetPowerDownHour", setByte<&Settings::powerDownHour>, 9,
     RunsIn::Application, true},
    {command::GetChipset, "GetChipset", chipset, 8, RunsIn::Both, false},
};

}  // namespace

std::span<const CommandEntry> identityCommands() { return kCommands; }

}  // namespace qx5::sim
