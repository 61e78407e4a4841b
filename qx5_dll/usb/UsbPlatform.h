// The one seam between the transport (mchpusb, DEVICE_DATA) and whatever reaches the gauges:
// libusb on POSIX, WinUSB on Windows, or the simulated gauges. The operations mirror what the
// transport needs of a generic USB driver, one call each, so enumeration, opening, pipe
// discovery and the packet exchange read the same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace qx5 {

// Opaque handles; an implementation chooses what they mean. All ones marks "closed".
using DeviceHandle = std::uintptr_t;
using InterfaceHandle = std::uintptr_t;
inline constexpr DeviceHandle kInvalidDeviceHandle = ~DeviceHandle{0};
inline constexpr InterfaceHandle kInvalidInterfaceHandle = ~InterfaceHandle{0};

enum class UsbSpeed : std::uint8_t { Low = 1, Full = 2, High = 3 };

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

class UsbPlatform {
 public:
  virtual ~UsbPlatform() = default;

  // True when every platform function this binding needs was found. An incomplete binding
  // answers every call with failure.
  virtual bool isComplete() const = 0;
  // Short name for log lines: "libusb", "simulator", ...
  virtual const char* name() const = 0;

  // Enumeration: take a snapshot of the present gauge-class interfaces, then ask for members by
  // index. interfacePath fails with an end-of-list error (isEndOfList) past the last member.
  virtual bool beginEnumeration() = 0;
  virtual bool interfacePath(std::uint32_t memberIndex, std::string& path) = 0;
  virtual void endEnumeration() = 0;

  // Device file of one interface path, then the USB interface on it.
  virtual DeviceHandle openDevice(const std::string& path) = 0;
  virtual bool closeDevice(DeviceHandle device) = 0;
  virtual bool initialize(DeviceHandle device, InterfaceHandle& iface) = 0;
  virtual bool freeInterface(InterfaceHandle iface) = 0;

  virtual bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) = 0;
  virtual bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternateSetting,
                                      UsbInterfaceDescriptor& descriptor) = 0;
  virtual bool queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting,
                         std::uint8_t pipeIndex, UsbPipeInformation& pipe) = 0;
  // Every later transfer on the pipe gives up after this many milliseconds.
  virtual bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                              std::uint32_t milliseconds) = 0;
  virtual bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) = 0;

  virtual bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                         std::uint32_t length, std::uint32_t& written) = 0;
  // Reads one transfer of at most `capacity` bytes; fails with a timeout error (isTimeout) when
  // nothing arrives within the pipe's timeout.
  virtual bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                        std::uint32_t capacity, std::uint32_t& received) = 0;

  // Error of the last failed call on this thread, in the platform's numbering.
  virtual int lastError() const = 0;
  virtual bool isTimeout(int error) const = 0;
  virtual bool isEndOfList(int error) const = 0;
};

}  // namespace qx5
