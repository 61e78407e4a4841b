#include "qx5_dll/usb/sim/Handles.h"

namespace qx5::sim {

DeviceHandle HandleTable::openDevice(const std::string& name, unsigned generation) {
  const DeviceHandle handle = nextHandle_++;
  devices_[handle] = OpenDevice{name, generation};
  return handle;
}

const OpenDevice* HandleTable::device(DeviceHandle device) const {
  const auto found = devices_.find(device);
  return found == devices_.end() ? nullptr : &found->second;
}

InterfaceHandle HandleTable::openInterface(DeviceHandle device) {
  const InterfaceHandle iface = nextHandle_++;
  interfaces_[iface] = OpenInterface{device, {}};
  return iface;
}

OpenInterface* HandleTable::interfaceOf(InterfaceHandle iface) {
  const auto found = interfaces_.find(iface);
  if (found == interfaces_.end() || !devices_.count(found->second.device)) return nullptr;
  return &found->second;
}

}  // namespace qx5::sim
