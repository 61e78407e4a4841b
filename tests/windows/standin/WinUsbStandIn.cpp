// WINUSB.DLL for tests: the simulated gauges named by QX5STANDIN (the syntax of QX5SIM) behind
// WinUSB's own signatures, so the library's WinUSB binding carries real packets under Wine.
// The interface paths it hands out through the SETUPAPI.DLL stand-in name files whose content
// is the simulated gauge's path: WinUsb_Initialize reads it back from the opened file.
#include <windows.h>
#include <winusb.h>

#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"

namespace {

std::mutex gaugesMutex;

qx5::UsbPlatform& gauges() {
  static std::unique_ptr<qx5::UsbPlatform> platform = [] {
    const char* gauges = std::getenv("QX5STANDIN");
    return qx5::sim::createSimulatedPlatform(gauges && *gauges ? gauges : "1");
  }();
  return *platform;
}

// What a WINUSB_INTERFACE_HANDLE points at.
struct Interface {
  qx5::DeviceHandle device;
  qx5::InterfaceHandle iface;
};

Interface* asInterface(WINUSB_INTERFACE_HANDLE handle) { return static_cast<Interface*>(handle); }

BOOL failWith(DWORD error) {
  SetLastError(error);
  return FALSE;
}

// The platform's error of the failed call, in Win32 numbering already (timeout = 121).
BOOL failFromGauges() { return failWith(static_cast<DWORD>(gauges().lastError())); }

// The simulated path written into the interface file by the SETUPAPI.DLL stand-in.
bool readInterfaceFile(HANDLE file, std::string& path) {
  char buffer[512];
  OVERLAPPED at{};
  at.hEvent = CreateEventA(nullptr, TRUE, FALSE, nullptr);
  DWORD count = 0;
  BOOL done = ReadFile(file, buffer, sizeof buffer, nullptr, &at);
  if (!done && GetLastError() == ERROR_IO_PENDING) done = TRUE;
  done = done && GetOverlappedResult(file, &at, &count, TRUE);
  CloseHandle(at.hEvent);
  if (!done || count == 0) return false;
  path.assign(buffer, count);
  return true;
}

}  // namespace

extern "C" {

// For the SETUPAPI.DLL stand-in: the present gauges' paths, one per line, into `buffer`;
// returns the length the whole list needs.
int WINAPI QX5StandIn_Enumerate(char* buffer, int size) {
  std::lock_guard lock(gaugesMutex);
  std::string list;
  if (gauges().beginEnumeration()) {
    std::string path;
    for (std::uint32_t i = 0; gauges().interfacePath(i, path); ++i) list += path + "\n";
    gauges().endEnumeration();
  }
  if (buffer && size > 0) {
    const std::size_t n = std::min<std::size_t>(list.size(), static_cast<std::size_t>(size - 1));
    list.copy(buffer, n);
    buffer[n] = '\0';
  }
  return static_cast<int>(list.size());
}

BOOL WINAPI WinUsb_Initialize(HANDLE DeviceHandle, PWINUSB_INTERFACE_HANDLE InterfaceHandle) {
  if (!InterfaceHandle) return failWith(ERROR_INVALID_PARAMETER);
  std::string path;
  if (!readInterfaceFile(DeviceHandle, path)) return failWith(ERROR_INVALID_HANDLE);
  std::lock_guard lock(gaugesMutex);
  auto inner = std::make_unique<Interface>();
  inner->device = gauges().openDevice(path);
  if (inner->device == qx5::kInvalidDeviceHandle) return failWith(ERROR_DEVICE_NOT_CONNECTED);
  if (!gauges().initialize(inner->device, inner->iface)) {
    const BOOL result = failFromGauges();
    gauges().closeDevice(inner->device);
    return result;
  }
  *InterfaceHandle = inner.release();
  return TRUE;
}

BOOL WINAPI WinUsb_Free(WINUSB_INTERFACE_HANDLE InterfaceHandle) {
  if (!InterfaceHandle) return failWith(ERROR_INVALID_HANDLE);
  std::lock_guard lock(gaugesMutex);
  std::unique_ptr<Interface> inner(asInterface(InterfaceHandle));
  gauges().freeInterface(inner->iface);
  gauges().closeDevice(inner->device);
  return TRUE;
}

BOOL WINAPI WinUsb_QueryDeviceInformation(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          ULONG InformationType, PULONG BufferLength,
                                          PVOID Buffer) {
  if (!InterfaceHandle || !BufferLength || !Buffer) return failWith(ERROR_INVALID_PARAMETER);
  if (InformationType != DEVICE_SPEED) return failWith(ERROR_INVALID_PARAMETER);
  if (*BufferLength < 1) return failWith(ERROR_INSUFFICIENT_BUFFER);
  std::lock_guard lock(gaugesMutex);
  qx5::UsbSpeed speed{};
  if (!gauges().queryDeviceSpeed(asInterface(InterfaceHandle)->iface, speed))
    return failFromGauges();
  *static_cast<UCHAR*>(Buffer) = static_cast<UCHAR>(speed);
  *BufferLength = 1;
  return TRUE;
}

BOOL WINAPI WinUsb_QueryInterfaceSettings(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                                          UCHAR AlternateInterfaceNumber,
                                          PUSB_INTERFACE_DESCRIPTOR UsbAltInterfaceDescriptor) {
  if (!InterfaceHandle || !UsbAltInterfaceDescriptor) return failWith(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(gaugesMutex);
  qx5::UsbInterfaceDescriptor descriptor;
  if (!gauges().queryInterfaceSettings(asInterface(InterfaceHandle)->iface,
                                       AlternateInterfaceNumber, descriptor))
    return failFromGauges();
  *UsbAltInterfaceDescriptor = USB_INTERFACE_DESCRIPTOR{};
  UsbAltInterfaceDescriptor->bLength = sizeof(USB_INTERFACE_DESCRIPTOR);
  UsbAltInterfaceDescriptor->bDescriptorType = 4;  // interface
  UsbAltInterfaceDescriptor->bInterfaceNumber = descriptor.interfaceNumber;
  UsbAltInterfaceDescriptor->bAlternateSetting = descriptor.alternateSetting;
  UsbAltInterfaceDescriptor->bNumEndpoints = descriptor.numEndpoints;
  UsbAltInterfaceDescriptor->bInterfaceClass = descriptor.interfaceClass;
  return TRUE;
}

BOOL WINAPI WinUsb_QueryPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle,
                             UCHAR AlternateInterfaceNumber, UCHAR PipeIndex,
                             PWINUSB_PIPE_INFORMATION PipeInformation) {
  if (!InterfaceHandle || !PipeInformation) return failWith(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(gaugesMutex);
  qx5::UsbPipeInformation pipe;
  if (!gauges().queryPipe(asInterface(InterfaceHandle)->iface, AlternateInterfaceNumber, PipeIndex,
                          pipe))
    return failFromGauges();
  PipeInformation->PipeType = static_cast<USBD_PIPE_TYPE>(pipe.pipeType);
  PipeInformation->PipeId = pipe.pipeId;
  PipeInformation->MaximumPacketSize = pipe.maximumPacketSize;
  PipeInformation->Interval = pipe.interval;
  return TRUE;
}

BOOL WINAPI WinUsb_SetPipePolicy(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID,
                                 ULONG PolicyType, ULONG ValueLength, PVOID Value) {
  if (!InterfaceHandle || !Value) return failWith(ERROR_INVALID_PARAMETER);
  if (PolicyType != PIPE_TRANSFER_TIMEOUT) return TRUE;  // other policies change nothing here
  if (ValueLength != sizeof(ULONG)) return failWith(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(gaugesMutex);
  if (!gauges().setPipeTimeout(asInterface(InterfaceHandle)->iface, PipeID,
                               *static_cast<ULONG*>(Value)))
    return failFromGauges();
  return TRUE;
}

BOOL WINAPI WinUsb_FlushPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID) {
  if (!InterfaceHandle) return failWith(ERROR_INVALID_HANDLE);
  std::lock_guard lock(gaugesMutex);
  return gauges().flushPipe(asInterface(InterfaceHandle)->iface, PipeID) || failFromGauges();
}

BOOL WINAPI WinUsb_ResetPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR) {
  return InterfaceHandle ? TRUE : failWith(ERROR_INVALID_HANDLE);
}

BOOL WINAPI WinUsb_AbortPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR) {
  return InterfaceHandle ? TRUE : failWith(ERROR_INVALID_HANDLE);
}

BOOL WINAPI WinUsb_WritePipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                             ULONG BufferLength, PULONG LengthTransferred,
                             LPOVERLAPPED Overlapped) {
  if (!InterfaceHandle || !Buffer || Overlapped) return failWith(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(gaugesMutex);
  std::uint32_t written = 0;
  const bool done = gauges().writePipe(asInterface(InterfaceHandle)->iface, PipeID, Buffer,
                                       BufferLength, written);
  if (LengthTransferred) *LengthTransferred = written;
  return done || failFromGauges();
}

BOOL WINAPI WinUsb_ReadPipe(WINUSB_INTERFACE_HANDLE InterfaceHandle, UCHAR PipeID, PUCHAR Buffer,
                            ULONG BufferLength, PULONG LengthTransferred, LPOVERLAPPED Overlapped) {
  if (!InterfaceHandle || !Buffer || Overlapped) return failWith(ERROR_INVALID_PARAMETER);
  std::lock_guard lock(gaugesMutex);
  std::uint32_t received = 0;
  const bool done = gauges().readPipe(asInterface(InterfaceHandle)->iface, PipeID, Buffer,
                                      BufferLength, received);
  if (LengthTransferred) *LengthTransferred = received;
  return done || failFromGauges();
}

}  // extern "C"
