// The one seam between the transport (mchpusb, DEVICE_DATA) and whatever reaches the gauges:
// libusb on POSIX, WinUSB on Windows, or the simulated gauges. The operations mirror what the
// transport needs of a generic USB driver, one call each, so enumeration, opening, pipe
// discovery and the packet exchange read the same on every platform.
#pragma once

#include <cstdint>
#include <string>

#include "qx5_dll/usb/UsbSpeed.h"

namespace qx5 {

// Opaque handles; an implementation chooses what they mean. All ones marks "closed".
using DeviceHandle = std::uintptr_t;
using InterfaceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = ~DeviceHandle{0};
inline constexpr InterfaceHandle kInvalidInterfaceHandle = ~InterfaceHandle{0};

// Interface descriptor of one alternate setting, as far as the transport reads it.
struct UsbInterfaceDescriptor {
  std::uint8_t interfaceNumber = 0;
  std::uint8_t alternateSetting = 0;
  std::uint8_t numEndpoints = 0;
  std::uint8_t interfaceClass = 0;
};

enum class UsbPipeType : std::uint32_t { Control = 0, Isochronous = 1, Bulk = 2, Interrupt = 3 };

// The 12-byte pipe information record: pipe type, endpoint address (top bit set for IN),
// maximum packet size, polling interval.
struct UsbPipeInformation {
  UsbPipeType pipeType = UsbPipeType::Control;
  std::uint8_t pipeId = 0;
  std::uint16_t maximumPacketSize = 0;
  std::uint8_t interval = 0;
};
static_assert(sizeof(UsbPipeInformation) == 12, "pipe record keeps its wire size");

// The contract every implementation keeps. A call that fails returns false (or the invalid
// handle) and leaves its error in lastError(); a call that succeeds may leave lastError() as it
// was. Threads: the transport calls enumeration, open and close under the library's state lock,
// and the queries and transfers of one interface under that gauge's lock, so calls on different
// interfaces may run on different threads at once; an implementation guards what they share.
class UsbPlatform {
 public:
  virtual ~UsbPlatform() = default;

  // True when every platform function this binding needs was found. An incomplete binding
  // answers every later call with failure. Any thread; no error.
  virtual bool isComplete() const = 0;
  // Short name for log lines: "libusb", "winusb", "simulator". Any thread; no error.
  virtual const char* name() const = 0;

  // Takes a snapshot of the present gauge-class interfaces for interfacePath. False when the
  // bus cannot be listed (error in lastError()). Under the library's state lock.
  virtual bool beginEnumeration() = 0;
  // The Windows-style interface path (InterfacePath.h) of snapshot member `memberIndex`. Past
  // the last member: false with an end-of-list error (isEndOfList). Under the state lock.
  virtual bool interfacePath(std::uint32_t memberIndex, std::string& path) = 0;
  // Releases the snapshot. Never fails. Under the state lock.
  virtual void endEnumeration() = 0;

  // The device behind an interface path from the last snapshot, or kInvalidDeviceHandle with
  // the error when it cannot be opened (gone, or no access). Under the state lock.
  virtual DeviceHandle openDevice(const std::string& path) = 0;
  // Closes a device handle; false with an invalid-handle error for one not open.
  virtual bool closeDevice(DeviceHandle device) = 0;
  // Claims the USB interface on an open device into `iface`; false with an invalid-handle error
  // for a device not open, the platform's error when the claim fails.
  virtual bool initialize(DeviceHandle device, InterfaceHandle& iface) = 0;
  // Releases an interface; false with an invalid-handle error for one not claimed.
  virtual bool freeInterface(InterfaceHandle iface) = 0;

  // The queries, setPipeTimeout and flushPipe run under the gauge's lock and fail, with the
  // error in lastError(), on a released interface or an unplugged gauge.
  // The device's bus speed; false when the platform cannot tell it.
  virtual bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) = 0;
  // The descriptor of one alternate setting; false for a setting the interface lacks.
  virtual bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternateSetting,
                                      UsbInterfaceDescriptor& descriptor) = 0;
  // Pipe `pipeIndex` of an alternate setting; false past its last pipe.
  virtual bool queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting,
                         std::uint8_t pipeIndex, UsbPipeInformation& pipe) = 0;
  // Every later transfer on the pipe gives up after this many milliseconds. May refuse a pipe
  // the interface lacks.
  virtual bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                              std::uint32_t milliseconds) = 0;
  // Drops what waits in the pipe (nothing waits on an OUT pipe). May refuse a pipe the
  // interface lacks.
  virtual bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) = 0;

  // Writes one transfer; `written` is the count taken (0 on failure). False with the error for
  // a wrong pipe or length, an unplugged gauge or a failed transfer. Under the gauge's lock.
  virtual bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                         std::uint32_t length, std::uint32_t& written) = 0;
  // Reads one transfer of at most `capacity` bytes into `buffer`; `received` is the count (0 on
  // failure). False with a timeout error (isTimeout) when nothing arrives within the pipe's
  // timeout, with the platform's error otherwise. Under the gauge's lock.
  virtual bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                        std::uint32_t capacity, std::uint32_t& received) = 0;

  // The error of the calling thread's last failed call, in the platform's numbering
  // (platform/Errors.h). Every implementation keeps one per thread, so a failure on one gauge
  // never shows as another thread's error; read it right after the failed call.
  virtual int lastError() const = 0;
  // Whether an error from lastError() is a transfer timeout / the end of a list. Any thread.
  virtual bool isTimeout(int error) const = 0;
  virtual bool isEndOfList(int error) const = 0;
};

}  // namespace qx5
