// One gauge slot of the device list: where the gauge was found, its open handles and pipes,
// and the command packet exchange over those pipes.
#pragma once

#include <cstdint>
#include <string>

#include "qx5_dll/transport/UsbPlatform.h"

namespace qx5 {

class DEVICE_DATA {
 public:
  DEVICE_DATA() = default;
  DEVICE_DATA(UsbPlatform* usb, int index) : usb(usb), index(index) {}

  // Writes `length` bytes of `packet` to the OUT pipe and reads the reply into `reply`, whose
  // capacity `replyLength` gives on entry and which holds the count received on return. A
  // short or mismatched reply flushes the IN pipe and sends the packet once more.
  bool SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                         std::uint32_t& replyLength);
  // Reads and discards whatever waits in the IN pipe. Always true.
  bool FlushInputPipe();

  UsbPlatform* usb = nullptr;  // not owned
  std::string devicePath;
  DeviceHandle deviceHandle = kInvalidDeviceHandle;
  InterfaceHandle winUsbHandle = kInvalidInterfaceHandle;
  std::uint8_t pipeInId = 0;
  std::uint8_t pipeOutId = 0;
  int index = 0;
  std::int32_t serialNumber = -1;  // unknown
};

}  // namespace qx5
