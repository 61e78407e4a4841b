// The device list: 16 gauge slots, the USB platform that reaches them, and the current gauge
// that receives every exchange.
#pragma once

#include <array>
#include <cstdint>
#include <memory>

#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5 {

class mchpusb {
 public:
  static constexpr std::uint32_t kMaxDevices = 16;
  // An enumeration that keeps failing without reaching its end stops after this many members.
  static constexpr std::uint32_t kMaxMembers = 1024;

  // Reaches the gauges only through `usb`, whichever implementation the library's start-up chose.
  explicit mchpusb(std::unique_ptr<UsbPlatform> usb);
  ~mchpusb();
  mchpusb(const mchpusb&) = delete;
  mchpusb& operator=(const mchpusb&) = delete;

  // Closes every slot, enumerates, opens and identifies the gauges; returns how many answered.
  std::uint32_t UpdateDeviceList();
  std::uint32_t UpdateAndGetDeviceCount();
  // Makes slot `index` the current gauge, enumerating first when the list is empty.
  bool SetDeviceInstance(std::uint32_t index);
  void DeleteInfoSetHandle();
  void DeleteDeviceDataList();

  // Forwarders to the current gauge; false at once when the platform binding is incomplete.
  bool SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                         std::uint32_t& replyLength);
  bool FlushInputPipe();

  bool bindingValid() const { return bindingValid_; }
  bool infoSetHeld() const { return infoSetHeld_; }
  std::uint32_t deviceCount() const { return deviceCount_; }
  std::uint32_t currentIndex() const { return currentIndex_; }
  DEVICE_DATA& currentDevice() { return *current_; }
  DEVICE_DATA& device(std::uint32_t index) { return *pDevDataList[index]; }
  UsbPlatform& platform() { return *usb_; }

 private:
  void construct();
  bool nextMemberIsGauge(std::uint32_t member, bool& more);

  std::unique_ptr<UsbPlatform> usb_;
  bool bindingValid_ = false;
  bool infoSetHeld_ = false;
  std::uint32_t deviceCount_ = 0;
  std::uint32_t currentIndex_ = 0;
  std::array<std::unique_ptr<DEVICE_DATA>, kMaxDevices> pDevDataList;
  DEVICE_DATA* current_ = nullptr;
};

}  // namespace qx5
