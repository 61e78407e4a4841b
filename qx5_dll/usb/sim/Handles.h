// The simulated bus's device and interface handles: which gauge (by name, and the generation of
// its attachment) a device handle reaches, and the pipe timeouts set on an interface. A handle of
// a gauge unplugged since it was opened reaches nothing.
#pragma once

#include <cstdint>
#include <map>
#include <string>

#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5::sim {

struct OpenDevice {
  std::string name;
  unsigned generation;
};

struct OpenInterface {
  DeviceHandle device;
  std::map<std::uint8_t, std::uint32_t> timeouts;  // by pipe id
};

class HandleTable {
 public:
  DeviceHandle openDevice(const std::string& name, unsigned generation);
  // Null when the handle is not open.
  const OpenDevice* device(DeviceHandle device) const;
  bool closeDevice(DeviceHandle device) { return devices_.erase(device) != 0; }

  InterfaceHandle openInterface(DeviceHandle device);
  bool freeInterface(InterfaceHandle iface) { return interfaces_.erase(iface) != 0; }
  // Null when the interface, or the device it was opened on, is closed.
  OpenInterface* interfaceOf(InterfaceHandle iface);

 private:
  std::map<DeviceHandle, OpenDevice> devices_;
  std::map<InterfaceHandle, OpenInterface> interfaces_;
  std::uintptr_t nextHandle_ = 1;  // devices and interfaces share one numbering
};

}  // namespace qx5::sim
