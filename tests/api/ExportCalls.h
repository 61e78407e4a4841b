// One call of every export that talks to a gauge, with harmless arguments, its result shown as
// text, and the text of its failure value. Exports that never exchange a packet are named
// apart, so a test can hold the two lists against the export table.
#pragma once

#include <cstdint>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "qx5dll.h"
#include "support/ShownResult.h"

namespace qx5::test {

// What an export reads of the gauge's answer, which decides the faults it can notice.
enum class Answer {
  Command,  // a command reply with its echo
  Version,  // the USB processor's few bytes, without an echo
  None,     // nothing: a write that no silent gauge can fail
};

struct ExportCall {
  const char* name;
  std::function<std::string()> call;
  std::string failure;
  Answer answer = Answer::Command;
};

namespace calls {

inline float floatArgument = 1.0f;

inline std::string pair(bool (*read)(float*, float*)) {
  float a = -9, b = -9;
  const bool ok = read(&a, &b);
  return show(ok) + " " + show(a) + " " + show(b);
}

inline std::string acquire() {
  SAFEARRAYBOUND bound{2, 0};
  SAFEARRAY* a = SafeArrayCreate(VT_R4, 1, &bound);
  SAFEARRAY* b = SafeArrayCreate(VT_R4, 1, &bound);
  const bool ok = AcquirePressure(&a, &b, 2);
  SafeArrayDestroy(a);
  SafeArrayDestroy(b);
  return show(ok);
}

inline std::string companyName() {
  BSTR name = bstrOf("Acme");
  BSTR given = name;
  const bool ok = SetCompanyName(&name);
  if (name != given) SysFreeString(name);  // the failure text replaces it
  SysFreeString(given);
  return show(ok);
}

inline std::string deviceMemory() {
  QX5DeviceMemory memory = GetDeviceMemory();
  for (SAFEARRAY* array :
       {memory.deviceIndices, memory.rangeCounts, memory.deviceNames, memory.rangeNames})
    if (array) SafeArrayDestroy(array);
  return show(memory.numberOfDevices);
}

inline std::string bytesCall(const std::function<bool(unsigned char*)>& call, std::size_t shown) {
  unsigned char bytes[64] = {};
  const bool ok = call(bytes);
  std::string text = show(ok);
  if (ok)
    for (std::size_t i = 0; i < shown; ++i) text += " " + std::to_string(bytes[i]);
  return text;
}

inline std::string runTest() {
  unsigned char result[48] = {};
  std::uint32_t length = 99;
  const bool ok = RunTest(3, 0, nullptr, &length, result);
  return show(ok) + " " + std::to_string(length);
}

inline std::string number(std::uint32_t value) { return std::to_string(value); }

}  // namespace calls

inline const std::vector<ExportCall>& exportCalls() {
  using namespace calls;
  static const std::vector<ExportCall> rows = {
      {"ReadPressure", [] { return show(ReadPressure(0)); }, "-1"},
      {"GetPressure", [] { return pair(GetPressure); }, "false 0 0"},
      {"AcquirePressure", acquire, "false"},
      {"GetPressureFaster", [] { return pair(GetPressureFaster); }, "false 0 0"},
      {"ReadCache", [] { return pair(ReadCache); }, "false 0 0"},
      {"EnableUsbCache", [] { return show(EnableUsbCache(1)); }, "false"},
      {"GetCacheStatus", [] { return show(GetCacheStatus()); }, "false"},
      {"GetFlow", [] { return show(GetFlow()); }, "-1"},
      {"GetTemperature", [] { return show(GetTemperature()); }, "0"},
      {"SetMode", [] { return show(SetMode(1)); }, "false"},
      {"SetAtMode", [] { return show(SetAtMode(1)); }, "false"},
      {"GetAtMode", [] { return show(GetAtMode()); }, "0"},
      {"SetRange", [] { return show(SetRange(1)); }, "false"},
      {"SetDevice", [] { return show(SetDevice(1)); }, "false"},
      {"GetDeviceName", [] { return show(GetDeviceName()); }, "\"---\""},
      {"GetDeviceRange", [] { return show(GetDeviceRange()); }, "\"---\""},
      {"GetDeviceRanges", [] { return show(GetDeviceRanges()); }, "\"---\""},
      {"GetDeviceMemory", deviceMemory, "0"},
      {"ChangeTimeAverage", [] { return show(ChangeTimeAverage()); }, "false"},
      {"TimeAverageMode", [] { return show(TimeAverageMode()); }, "\"---\""},
      {"SetTimeAvgOff", [] { return show(SetTimeAvgOff()); }, "false"},
      {"SetAutoZeroOn", [] { return show(SetAutoZeroOn(1)); }, "false"},
      {"SetAutoZeroOff", [] { return show(SetAutoZeroOff(1)); }, "false"},
      {"GetConstN", [] { return show(GetConstN()); }, "0"},
      {"SetConstN", [] { return show(SetConstN(1)); }, "false"},
      {"SetReverseMode", [] { return show(SetReverseMode(1)); }, "false"},
      {"GetReverseModeStatus", [] { return show(GetReverseModeStatus()); }, "false"},
      {"SetRelPresStatus", [] { return show(SetRelPresStatus(1)); }, "false"},
      {"GetRelPresStatus", [] { return show(GetRelPresStatus()); }, "false"},
      {"SetFanSpeed", [] { return show(SetFanSpeed(&floatArgument)); }, "false"},
      {"GetFanSpeed", [] { return show(GetFanSpeed()); }, "-1"},
      {"GetFanSpeedPercent", [] { return show(GetFanSpeedPercent()); }, "-1"},
      {"GetFanVersion", [] { return show(GetFanVersion()); }, "0"},
      {"SetFlowPressure", [] { return show(SetFlowPressure(&floatArgument)); }, "false"},
      {"SetRoomPressure", [] { return show(SetRoomPressure(&floatArgument)); }, "false"},
      {"SetAtPressure", [] { return show(SetAtPressure(1, &floatArgument)); }, "false"},
      {"GetAtPressure", [] { return show(GetAtPressure(1)); }, "0"},
      {"SetRoomPIDConstant", [] { return show(SetRoomPIDConstant(1, &floatArgument)); }, "false"},
      {"GetRoomPIDConstant", [] { return show(GetRoomPIDConstant(1)); }, "0"},
      {"PushButton", [] { return show(PushButton(1)); }, "false"},
      {"EnterSetUp", [] { return show(EnterSetUp()); }, "false"},
      {"Abort", [] { return show(Abort()); }, "false"},
      {"BackLightOn", [] { return show(BackLightOn(1)); }, "false"},
      {"BackLightOff", [] { return show(BackLightOff(1)); }, "false"},
      {"QX5_Off", [] { return show(QX5_Off()); }, "false"},
      {"GetBatteryLevel", [] { return show(GetBatteryLevel()); }, "0"},
      {"GetSerialNumber", [] { return show(GetSerialNumber()); }, "-1"},
      {"SetSerialNumber",
       [] {
         std::int32_t serial = 4242;
         return show(SetSerialNumber(&serial));
       },
       "false"},
      {"GetQX5FirmwareVersion", [] { return show(GetQX5FirmwareVersion()); }, "\"---\""},
      {"IsQX5MKII", [] { return show(IsQX5MKII()); }, "false"},
      {"IsQX5A", [] { return show(IsQX5A()); }, "false"},
      {"GetUSBCPUVersion", [] { return show(GetUSBCPUVersion()); }, "\"major.minor\"",
       Answer::Version},
      {"ResetUSBCPU", [] { return show(ResetUSBCPU()); }, "false", Answer::None},
      {"GetCalibrationDate", [] { return show(GetCalibrationDate()); }, "\"yyyy-mm-dd\""},
      {"SetDate", [] { return show(SetDate()); }, "false"},
      {"SetCustomDate", [] { return show(SetCustomDate(2024, 2, 29)); }, "false"},
      {"SetCalibrationRange", [] { return show(SetCalibrationRange(1)); }, "false"},
      {"ReadWriteHardwareSlope",
       [] {
         unsigned char value = 0;
         return show(ReadWriteHardwareSlope(1, 3, &value));
       },
       "false"},
      {"ReadWriteSoftwareSlope",
       [] {
         float slope = 0;
         return show(ReadWriteSoftwareSlope(1, 0, 1, &slope));
       },
       "false"},
      {"SetCompanyName", companyName, "false"},
      {"GetCompanyName", [] { return show(GetCompanyName()); }, "\"--\""},
      {"EnableCompanyName", [] { return show(EnableCompanyName(1)); }, "false"},
      {"DisableCompanyName", [] { return show(DisableCompanyName(1)); }, "false"},
      {"GetPowerDownHour", [] { return show(GetPowerDownHour()); }, "0"},
      {"SetPowerDownHour", [] { return show(SetPowerDownHour(3)); }, "false"},
      {"SaveToEEPROM", [] { return show(SaveToEEPROM()); }, "false"},
      {"RestoreFactoryDefault", [] { return show(RestoreFactoryDefault()); }, "false"},
      {"GetQX5TickCount", [] { return number(GetQX5TickCount()); }, "4294967295"},
      {"GetLcdRow", [] { return bytesCall([](unsigned char* b) { return GetLcdRow(0, b); }, 16); },
       "false"},
      {"UploadMemory",
       [] { return bytesCall([](unsigned char* b) { return UploadMemory(0xF00000, 48, b); }, 48); },
       "false"},
      {"DownloadMemory",
       [] {
         const unsigned char data[4] = {1, 2, 3, 4};
         return show(DownloadMemory(0xF00100, 4, data));
       },
       "false"},
      {"EraseMemory", [] { return show(EraseMemory(0xF00200, 4)); }, "false"},
      {"RunTest", runTest, "false 99"},
      {"DoBoot", [] { return show(DoBoot(1)); }, "false"},
      {"GetChipset", [] { return number(GetChipset()); }, "4294967295"},
  };
  return rows;
}

// Exports that answer from the library alone (or only list the gauges), and the exports of the
// automation layer.
inline const std::set<std::string>& exportsWithoutExchange() {
  static const std::set<std::string> names = {"UsbPortOpen",
                                              "UsbPortClose",
                                              "AllVidPidSame",
                                              "GetDLLVersion",
                                              "GetDeviceCount",
                                              "UsbPort",
                                              "GetAutoZero",
                                              "GetNumberOfRanges",
                                              "GetNumberOfDevices",
                                              "GetMaxRange",
                                              "GetMaxDevice",
                                              "FlushUSBInputPipe",
                                              "GetQX5PortId",
                                              "LogStart",
                                              "LogStop",
                                              "LogMessage",
                                              "QX5Init",
                                              "GetErrorMessage",
                                              "LogInitToStdout",
                                              "SysAllocString",
                                              "SysAllocStringByteLen",
                                              "SysFreeString",
                                              "SysStringByteLen",
                                              "SafeArrayCreate",
                                              "SafeArrayAllocData",
                                              "SafeArrayPutElement",
                                              "SafeArrayGetElement",
                                              "SafeArrayDestroy",
                                              "VariantInit",
                                              "VariantClear"};
  return names;
}

}  // namespace qx5::test
