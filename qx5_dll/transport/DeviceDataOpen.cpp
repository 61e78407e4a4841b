// Finding, opening and identifying the gauge of one slot.
#include <cstring>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5 {

namespace {

constexpr std::uint32_t kPipeTimeoutMs = 2000;
constexpr std::uint8_t kGuardByte = 0xAE;
constexpr int kGuardBytes = 24;

const char* speedName(int speed) {
  switch (speed) {
    case 1:
      return "LowSpeed";
    case 2:
      return "FullSpeed";
    case 3:
      return "HighSpeed";
    default:
      return "unknown";
  }
}

}  // namespace

DEVICE_DATA::~DEVICE_DATA() {
  CloseDeviceInterface();
  FreeWinUsbInterface();
}

bool DEVICE_DATA::GetInfoSetDevicesPath(std::uint32_t memberIndex, bool& more) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::GetInfoSetDevicesPath", "GetInfoSetDevicesPath %u",
                memberIndex);
  more = true;
  scope.Detail("calling SetupDiEnumDeviceInterfaces");
  std::string path;
  if (!usb->interfacePath(memberIndex, path)) {
    const int error = usb->lastError();
    if (usb->isEndOfList(error)) {
      more = false;
      return false;
    }
    scope.ErrorWithCode(error, "error calling SetupDiEnumDeviceInterfaces %u", memberIndex);
    return false;
  }
  devicePath = path;
  scope.Detail("pDevDataList[%d] = \"%s\"", index, devicePath.c_str());
  if (devicePath.find(kGaugePathFilter) == std::string::npos) {
    scope.Info("\"%s\" is not a Orvane", devicePath.c_str());
    return false;
  }
  return true;
}

bool DEVICE_DATA::GetDevicesWinUsbHandle() {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::GetDevicesWinUsbHandle", "GetDevicesWinUsbHandle");
  CloseDeviceInterface();
  FreeWinUsbInterface();
  if (!OpenDeviceInterface()) return false;
  if (!usb->initialize(deviceHandle, winUsbHandle)) {
    winUsbHandle = kInvalidInterfaceHandle;
    scope.ErrorWithCode(usb->lastError(), "Error calling WinUsb_Initialize");
    return false;
  }
  GetDevicesEndPoints();
  std::uint8_t speed = 0;
  GetDeviceSpeed(speed);
  return true;
}

bool DEVICE_DATA::OpenDeviceInterface() {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::OpenDeviceInterface", "OpenDeviceInterface");
  if (serialNumber >= 1)
    SetLogDeviceTag("[%d,%d?]", index, serialNumber);
  else
    SetLogDeviceTag("[%d,?]", index);
  scope.Info("Opening device %d(\"%s\")", index, devicePath.c_str());
  deviceHandle = usb->openDevice(devicePath);
  if (deviceHandle == kInvalidDeviceHandle) {
    scope.ErrorWithCode(usb->lastError(), "Error Openning Device %d(\"%s\")", index,
                        devicePath.c_str());
    SetLogDeviceTag("[%d,INVALID]", index);
    return false;
  }
  return true;
}

bool DEVICE_DATA::GetDevicesEndPoints() {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::GetDevicesEndPoints", "GetDevicesEndPoints");
  UsbInterfaceDescriptor descriptor;
  if (!usb->queryInterfaceSettings(winUsbHandle, 0, descriptor)) return false;
  for (std::uint8_t i = 0; i < descriptor.numEndpoints; ++i) {
    if (!CheckEndpoint(i)) break;
  }
  return true;
}

bool DEVICE_DATA::CheckEndpoint(std::uint8_t endpointIndex) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::CheckEndpoint", "CheckEndpoint %d", endpointIndex);
  // The pipe record between two guard areas: a platform writing more than the record's size
  // shows up here rather than as a corrupted stack later.
  struct {
    std::uint8_t before[kGuardBytes];
    UsbPipeInformation pipe;
    std::uint8_t after[kGuardBytes];
  } region;
  std::memset(region.before, kGuardByte, kGuardBytes);
  std::memset(region.after, kGuardByte, kGuardBytes);
  if (std::memcmp(region.before, region.after, kGuardBytes) != 0)
    scope.Error("memory corruption check in WinUsb_QueryPipe is wrong");

  const bool queried = usb->queryPipe(winUsbHandle, 0, endpointIndex, region.pipe);

  bool intact = true;
  for (int i = 0; i < kGuardBytes; ++i)
    intact = intact && region.before[i] == kGuardByte && region.after[i] == kGuardByte;
  if (!intact) {
    scope.Error("memory corruption after calling WinUsb_QueryPipe");
    for (int i = 0; i < kGuardBytes; ++i)
      if (region.before[i] != kGuardByte)
        LogPrint(2, "prebuf[%d] was 0x%02x is now 0x%02x", i - kGuardBytes, kGuardByte,
                 region.before[i]);
    for (int i = 0; i < kGuardBytes; ++i)
      if (region.after[i] != kGuardByte)
        LogPrint(2, "postbuf[%d] was 0x%02x is now 0x%02x", i, kGuardByte, region.after[i]);
  }

  const UsbPipeInformation& pipe = region.pipe;
  if (!queried || pipe.pipeType != UsbPipeType::Interrupt) return false;
  if (pipe.pipeId & 0x80) {
    pipeInId = pipe.pipeId;
    scope.Detail("found input pipe %d, UsbdPipeTypeInterrupt, MaximumPacketSize=%d, Interval=%d",
                 pipe.pipeId, pipe.maximumPacketSize, pipe.interval);
    SetPipePolicy(pipe.pipeId, "input");
    scope.Detail("flushing input pipe");
    usb->flushPipe(winUsbHandle, pipe.pipeId);
  } else {
    pipeOutId = pipe.pipeId;
    scope.Detail("found output pipe %d, UsbdPipeTypeInterrupt, MaximumPacketSize=%d, Interval=%d",
                 pipe.pipeId, pipe.maximumPacketSize, pipe.interval);
    SetPipePolicy(pipe.pipeId, "output");
  }
  return true;
}

bool DEVICE_DATA::SetPipePolicy(std::uint8_t pipe, const char* name) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::SetPipePolicy", "SetPipePolicy %d %s", pipe, name);
  // Resume, flush and stall handling are the platform's defaults here; the transfer timeout is
  // the one policy the exchange relies on.
  if (!usb->setPipeTimeout(winUsbHandle, pipe, kPipeTimeoutMs)) {
    scope.ErrorWithCode(usb->lastError(), "error setting PIPE_TRANSFER_TIMEOUT");
    return false;
  }
  scope.Detail(
      "configured %s pipe policy: RESET_PIPE_ON_RESUME, AUTO_FLUSH, AUTO_CLEAR_STALL, "
      "PIPE_TRANSFER_TIMEOUT=2000 ms",
      name);
  return true;
}

bool DEVICE_DATA::GetDeviceSpeed(std::uint8_t& speed) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::GetDeviceSpeed", "GetDeviceSpeed");
  UsbSpeed value{};
  if (!usb->queryDeviceSpeed(winUsbHandle, value)) {
    scope.ErrorWithCode(usb->lastError(), "Error calling WinUsb_QueryDeviceInformation");
    return false;
  }
  speed = static_cast<std::uint8_t>(value);
  scope.Detail("device speed is %d", speed);
  scope.Detail("device speed is %d(%s)", speed, speedName(speed));
  if (speed != 2)
    scope.Detail("The device speed is %s (%d), was expecting USB Full speed", speedName(speed),
                 speed);
  return true;
}

void DEVICE_DATA::CloseDeviceInterface() {
  if (deviceHandle == kInvalidDeviceHandle || !usb) return;
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::CloseDeviceInterface", "CloseDeviceInterface");
  scope.Detail("calling CloseHandle %lx", static_cast<unsigned long>(deviceHandle));
  usb->closeDevice(deviceHandle);
  deviceHandle = kInvalidDeviceHandle;
}

void DEVICE_DATA::FreeWinUsbInterface() {
  if (winUsbHandle == kInvalidInterfaceHandle || !usb) return;
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::FreeWinUsbInterface", "FreeWinUsbInterface");
  scope.Detail("calling WinUsb_Free %lx", static_cast<unsigned long>(winUsbHandle));
  usb->freeInterface(winUsbHandle);
  winUsbHandle = kInvalidInterfaceHandle;
}

bool DEVICE_DATA::CheckGauge() {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::CheckGauge", "CheckGauge");
  const std::uint8_t query[8] = {packet::kMarker,
                                 8,
                                 packet::kFixed2,
                                 packet::kFixed3,
                                 packet::kFixed4,
                                 packet::kDefaultParamLength,
                                 0,
                                 command::GetSerialNumber};
  std::uint8_t reply[packet::kBufferSize] = {};
  std::uint32_t replyLength = sizeof reply;
  if (SendReceivePacket(query, sizeof query, reply, replyLength) && replyLength >= 12) {
    const std::uint8_t* data = reply + packet::kReplyDataOffset;
    const auto serial = static_cast<std::int32_t>(data[0] | data[1] << 8 | data[2] << 16 |
                                                  static_cast<std::uint32_t>(data[3]) << 24);
    scope.Info("CheckGauge found serial number %d", serial);
    return true;
  }
  scope.Info("CheckGauge did not find a serial number");
  return false;
}

void DEVICE_DATA::TagLog() const { SetLogDeviceGauge(index, serialNumber); }

void DEVICE_DATA::FoundNewSerialNumber(int serial, std::int32_t previous) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::FoundNewSerialNumber", "FoundNewSerialNumber %d", serial);
  if (previous >= 1 && previous != serial)
    scope.Error("serial number change,... was %d, is now %d", previous, serial);
  serialNumber = serial;
  SetLogDeviceTag("[%d,%d]", index, serial);
}

}  // namespace qx5
