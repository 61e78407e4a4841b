#include "qx5_dll/usb/winusb/WinUsbPlatform.h"

// Types and constants only: SetupAPI and WinUSB are bound at run time through DynamicLibrary.
#include <windows.h>
// After windows.h, which they rely on.
#include <setupapi.h>
#include <winusb.h>

#include <cstring>
#include <vector>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/InterfacePath.h"

namespace qx5::usb {

using platform::DynamicLibrary;

namespace {

// The gauge's device interface class.
constexpr GUID kInterfaceClass = {
    kGaugeInterfaceClass.data1,
    kGaugeInterfaceClass.data2,
    kGaugeInterfaceClass.data3,
    {kGaugeInterfaceClass.data4[0], kGaugeInterfaceClass.data4[1], kGaugeInterfaceClass.data4[2],
     kGaugeInterfaceClass.data4[3], kGaugeInterfaceClass.data4[4], kGaugeInterfaceClass.data4[5],
     kGaugeInterfaceClass.data4[6], kGaugeInterfaceClass.data4[7]}};
constexpr DWORD kPresentInterfaces = DIGCF_PRESENT | DIGCF_DEVICEINTERFACE;  // 0x12
constexpr ULONG kDeviceSpeedInformation = DEVICE_SPEED;                      // 1

// Per thread: transfers on different gauges run on different threads at once. WinUSB and the
// file handles need nothing more: every handle is a gauge's own, the device information set
// belongs to enumeration, which runs under the library's state lock.
thread_local int lastErrorCode = 0;

// Binds functions one by one and remembers whether every one was found.
struct Binder {
  DynamicLibrary& library;
  bool allFound = library.isLoaded();
  template <class Function>
  void operator()(const char* name, Function*& function) {
    if (!library.bind(name, function)) allFound = false;
  }
};

// SetupAPI: the present interfaces of the gauge's class and their paths.
struct SETUPAPIWrapper {
  DynamicLibrary library{kSetupApiFileName};
  decltype(&SetupDiDestroyDeviceInfoList) destroyDeviceInfoList = nullptr;
  decltype(&SetupDiGetClassDevsA) getClassDevs = nullptr;
  decltype(&SetupDiEnumDeviceInterfaces) enumDeviceInterfaces = nullptr;
  decltype(&SetupDiGetDeviceInterfaceDetailA) getDeviceInterfaceDetail = nullptr;
  bool complete = false;

  SETUPAPIWrapper() {
    Binder need{library};
    need("SetupDiDestroyDeviceInfoList", destroyDeviceInfoList);
    need("SetupDiGetClassDevsA", getClassDevs);
    need("SetupDiEnumDeviceInterfaces", enumDeviceInterfaces);
    need("SetupDiGetDeviceInterfaceDetailA", getDeviceInterfaceDetail);
    complete = need.allFound;
  }
};

// WinUSB: the interface on an opened device file and its pipes. The last two functions are
// never called but belong to a complete WinUSB, so a partial one is refused.
struct WINUSBWrapper {
  DynamicLibrary library{kWinUsbFileName};
  decltype(&WinUsb_Free) free = nullptr;
  decltype(&WinUsb_Initialize) initialize = nullptr;
  decltype(&WinUsb_QueryDeviceInformation) queryDeviceInformation = nullptr;
  decltype(&WinUsb_QueryInterfaceSettings) queryInterfaceSettings = nullptr;
  decltype(&WinUsb_QueryPipe) queryPipe = nullptr;
  decltype(&WinUsb_ReadPipe) readPipe = nullptr;
  decltype(&WinUsb_WritePipe) writePipe = nullptr;
  decltype(&WinUsb_SetPipePolicy) setPipePolicy = nullptr;
  decltype(&WinUsb_FlushPipe) flushPipe = nullptr;
  decltype(&WinUsb_ResetPipe) resetPipe = nullptr;
  decltype(&WinUsb_AbortPipe) abortPipe = nullptr;
  bool complete = false;

  WINUSBWrapper() {
    Binder need{library};
    need("WinUsb_Free", free);
    need("WinUsb_Initialize", initialize);
    need("WinUsb_QueryDeviceInformation", queryDeviceInformation);
    need("WinUsb_QueryInterfaceSettings", queryInterfaceSettings);
    need("WinUsb_QueryPipe", queryPipe);
    need("WinUsb_ReadPipe", readPipe);
    need("WinUsb_WritePipe", writePipe);
    need("WinUsb_SetPipePolicy", setPipePolicy);
    need("WinUsb_FlushPipe", flushPipe);
    need("WinUsb_ResetPipe", resetPipe);
    need("WinUsb_AbortPipe", abortPipe);
    complete = need.allFound;
  }
};

class WinUsbPlatform final : public UsbPlatform {
 public:
  WinUsbPlatform() {
    if (!setupApi_.complete) whyIncomplete_ = "winusb: SETUPAPI.DLL missing or incomplete";
    if (!winUsb_.complete) whyIncomplete_ = "winusb: WINUSB.DLL missing or incomplete";
  }

  ~WinUsbPlatform() override { endEnumeration(); }

  bool isComplete() const override { return setupApi_.complete && winUsb_.complete; }
  const char* name() const override { return isComplete() ? "winusb" : whyIncomplete_.c_str(); }

  bool beginEnumeration() override {
    if (!usable()) return false;
    endEnumeration();
    GUID interfaceClass = kInterfaceClass;
    set_ = setupApi_.getClassDevs(&interfaceClass, nullptr, nullptr, kPresentInterfaces);
    if (set_ == INVALID_HANDLE_VALUE) return failWithLastError();
    return true;
  }

  bool interfacePath(std::uint32_t memberIndex, std::string& path) override {
    if (!usable()) return false;
    if (set_ == INVALID_HANDLE_VALUE) return fail(platform::kErrorInvalidHandle);
    GUID interfaceClass = kInterfaceClass;
    SP_DEVICE_INTERFACE_DATA data{};
    data.cbSize = sizeof data;
    if (!setupApi_.enumDeviceInterfaces(set_, nullptr, &interfaceClass, memberIndex, &data))
      return failWithLastError();
    // The first call only learns the size; its failure is expected.
    DWORD needed = 0;
    setupApi_.getDeviceInterfaceDetail(set_, &data, nullptr, 0, &needed, nullptr);
    const DWORD headerSize = offsetof(SP_DEVICE_INTERFACE_DETAIL_DATA_A, DevicePath);
    if (needed <= headerSize || needed > 64 * 1024) return fail(platform::kErrorIo);
    std::vector<DWORD> storage(needed / sizeof(DWORD) + 1);  // DWORD-aligned record
    auto* detail = reinterpret_cast<SP_DEVICE_INTERFACE_DETAIL_DATA_A*>(storage.data());
    detail->cbSize = sizeof(SP_DEVICE_INTERFACE_DETAIL_DATA_A);
    if (!setupApi_.getDeviceInterfaceDetail(set_, &data, detail, needed, nullptr, nullptr))
      return failWithLastError();
    // Never past the record, whatever the text inside it holds.
    const char* text = detail->DevicePath;
    path.assign(text, strnlen(text, needed - headerSize));
    return true;
  }

  void endEnumeration() override {
    if (set_ != INVALID_HANDLE_VALUE && setupApi_.complete) setupApi_.destroyDeviceInfoList(set_);
    set_ = INVALID_HANDLE_VALUE;
  }

  DeviceHandle openDevice(const std::string& path) override {
    if (!usable()) return kInvalidDeviceHandle;
    // Existing only: a gauge unplugged since the enumeration must not leave a file behind.
    HANDLE file =
        CreateFileA(path.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                    nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      failWithLastError();
      return kInvalidDeviceHandle;
    }
    return reinterpret_cast<DeviceHandle>(file);
  }

  bool closeDevice(DeviceHandle device) override {
    if (device == kInvalidDeviceHandle) return fail(platform::kErrorInvalidHandle);
    if (!CloseHandle(reinterpret_cast<HANDLE>(device))) return failWithLastError();
    return true;
  }

  bool initialize(DeviceHandle device, InterfaceHandle& iface) override {
    if (!usable()) return false;
    WINUSB_INTERFACE_HANDLE handle = nullptr;
    if (!winUsb_.initialize(reinterpret_cast<HANDLE>(device), &handle)) return failWithLastError();
    iface = reinterpret_cast<InterfaceHandle>(handle);
    return true;
  }

  bool freeInterface(InterfaceHandle iface) override {
    if (!usable()) return false;
    return winUsb_.free(asInterface(iface)) || failWithLastError();
  }

  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override {
    if (!usable()) return false;
    UCHAR value = 0;
    ULONG length = sizeof value;
    if (!winUsb_.queryDeviceInformation(asInterface(iface), kDeviceSpeedInformation, &length,
                                        &value))
      return failWithLastError();
    if (value < 1 || value > 3) return fail(platform::kErrorNotSupported);
    speed = static_cast<UsbSpeed>(value);
    return true;
  }

  bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternateSetting,
                              UsbInterfaceDescriptor& descriptor) override {
    if (!usable()) return false;
    USB_INTERFACE_DESCRIPTOR raw{};
    if (!winUsb_.queryInterfaceSettings(asInterface(iface), alternateSetting, &raw))
      return failWithLastError();
    descriptor.interfaceNumber = raw.bInterfaceNumber;
    descriptor.alternateSetting = raw.bAlternateSetting;
    descriptor.numEndpoints = raw.bNumEndpoints;
    descriptor.interfaceClass = raw.bInterfaceClass;
    return true;
  }

  bool queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting, std::uint8_t pipeIndex,
                 UsbPipeInformation& pipe) override {
    if (!usable()) return false;
    WINUSB_PIPE_INFORMATION raw{};
    if (!winUsb_.queryPipe(asInterface(iface), alternateSetting, pipeIndex, &raw))
      return failWithLastError();
    pipe.pipeType = static_cast<UsbPipeType>(raw.PipeType);
    pipe.pipeId = raw.PipeId;
    pipe.maximumPacketSize = raw.MaximumPacketSize;
    pipe.interval = raw.Interval;
    return true;
  }

  bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                      std::uint32_t milliseconds) override {
    if (!usable()) return false;
    ULONG value = milliseconds;
    return winUsb_.setPipePolicy(asInterface(iface), pipeId, PIPE_TRANSFER_TIMEOUT, sizeof value,
                                 &value) ||
           failWithLastError();
  }

  bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) override {
    if (!usable()) return false;
    return winUsb_.flushPipe(asInterface(iface), pipeId) || failWithLastError();
  }

  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    written = 0;
    if (!usable()) return false;
    ULONG sent = 0;
    if (!winUsb_.writePipe(asInterface(iface), pipeId, const_cast<UCHAR*>(data), length, &sent,
                           nullptr))
      return failWithLastError();
    written = sent;
    return true;
  }

  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    received = 0;
    if (!usable()) return false;
    ULONG count = 0;
    if (!winUsb_.readPipe(asInterface(iface), pipeId, buffer, capacity, &count, nullptr))
      return failWithLastError();
    // A driver that claims more than the buffer holds is not believed past the buffer.
    received = count > capacity ? capacity : count;
    return true;
  }

  int lastError() const override { return lastErrorCode; }
  bool isTimeout(int error) const override { return error == platform::kErrorTimeout; }
  bool isEndOfList(int error) const override { return error == platform::kErrorEndOfList; }

 private:
  static WINUSB_INTERFACE_HANDLE asInterface(InterfaceHandle iface) {
    return reinterpret_cast<WINUSB_INTERFACE_HANDLE>(iface);
  }

  bool usable() { return isComplete() || fail(platform::kErrorNotSupported); }

  bool fail(int error) {
    lastErrorCode = error;
    return false;
  }

  bool failWithLastError() {
    const DWORD error = GetLastError();
    return fail(error ? static_cast<int>(error) : platform::kErrorIo);
  }

  SETUPAPIWrapper setupApi_;
  WINUSBWrapper winUsb_;
  std::string whyIncomplete_;
  HDEVINFO set_ = INVALID_HANDLE_VALUE;
};

}  // namespace

std::unique_ptr<UsbPlatform> createWinUsbPlatform() { return std::make_unique<WinUsbPlatform>(); }

}  // namespace qx5::usb
