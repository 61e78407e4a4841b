// One gauge slot of the device list: its interface path, the opened device and interface, the
// two interrupt pipes and the serial number last reported for it.
#pragma once

#include <cstdint>
#include <string>

#include "qx5_dll/transport/UsbPlatform.h"

class mchpusb;

// Interface paths of gauges contain this, in lower case; anything else is another device.
inline constexpr const char* kGaugePathFilter = "vid_04d8&pid_000c";

class DEVICE_DATA {
 public:
  DEVICE_DATA(int index, mchpusb* owner, qx5::UsbPlatform* usb);
  ~DEVICE_DATA();
  DEVICE_DATA(const DEVICE_DATA&) = delete;
  DEVICE_DATA& operator=(const DEVICE_DATA&) = delete;

  // The packet exchange: write `length` bytes of `packet`, read the reply (capacity in
  // `replyLength` on entry, bytes received on return), check the echo, retry once.
  bool SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                         std::uint32_t& replyLength);
  // Reads and discards what waits in the IN pipe; always true.
  bool FlushInputPipe();

  // Discovery and opening.
  bool GetInfoSetDevicesPath(std::uint32_t memberIndex, bool& more);
  bool GetDevicesWinUsbHandle();
  bool OpenDeviceInterface();
  bool GetDevicesEndPoints();
  bool CheckEndpoint(std::uint8_t endpointIndex);
  bool SetPipePolicy(std::uint8_t pipe, const char* name);
  bool GetDeviceSpeed(std::uint8_t& speed);
  void CloseDeviceInterface();
  void FreeWinUsbInterface();
  bool CheckGauge();
  void FoundNewSerialNumber(int serial);

  int index() const { return index_; }
  int serialNumber() const { return serialNumber_; }
  const std::string& devicePath() const { return devicePath_; }
  std::uint8_t inputPipe() const { return inputPipe_; }
  std::uint8_t outputPipe() const { return outputPipe_; }
  bool isOpen() const { return deviceHandle_ != qx5::kInvalidDeviceHandle; }

 private:
  int index_;
  mchpusb* owner_;
  qx5::UsbPlatform* usb_;
  qx5::DeviceHandle deviceHandle_ = qx5::kInvalidDeviceHandle;
  qx5::InterfaceHandle interfaceHandle_ = qx5::kInvalidInterfaceHandle;
  std::uint8_t inputPipe_ = 0;
  std::uint8_t outputPipe_ = 0;
  std::string devicePath_;
  int serialNumber_ = -1;
};
