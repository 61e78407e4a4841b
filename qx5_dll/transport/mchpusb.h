// The device list: up to 16 gauges in enumeration order, the USB platform that reaches them, and
// the current gauge of the legacy exports. A gauge keeps one DEVICE_DATA for as long as the list
// lives, found again by its interface path at every enumeration, so handles that share it
// follow it across enumerations and the gauge's own restarts.
// Threads: every member runs under the library's state lock; a gauge's lock is taken after it.
#pragma once

#include <array>
#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <string>

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
  // Closes every gauge; DEVICE_DATA that handles still share are left closed and unusable.
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
  // Opens `device` again at its path after it went away (a restart): false when the path is not
  // attached now. The caller holds the device's lock.
  bool Reopen(DEVICE_DATA& device);

  // Forwarders to the current gauge, under its lock; false at once when the platform binding is
  // incomplete.
  bool SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                         std::uint32_t& replyLength);
  bool FlushInputPipe();

  bool bindingValid() const { return bindingValid_; }
  bool infoSetHeld() const { return infoSetHeld_; }
  std::uint32_t deviceCount() const { return deviceCount_; }
  std::uint32_t currentIndex() const { return currentIndex_; }
  DEVICE_DATA& currentDevice() { return *pDevDataList[currentIndex_]; }
  std::shared_ptr<DEVICE_DATA> currentShared() const { return pDevDataList[currentIndex_]; }
  DEVICE_DATA& device(std::uint32_t index) { return *pDevDataList[index]; }
  std::shared_ptr<DEVICE_DATA> deviceShared(std::uint32_t index) const {
    return pDevDataList[index];
  }
  UsbPlatform& platform() { return *usb_; }
  // The serial number last read through the legacy exports from slot `index` (-1: none). Its
  // own lock-free record, as a call on the slot's gauge updates it under that gauge's lock.
  std::atomic<std::int32_t>& slotSerial(std::uint32_t index) {
    return slotSerials_[index % kMaxDevices];
  }

 private:
  void construct();
  bool nextMemberIsGauge(std::uint32_t member, bool& more);
  // The gauge at `path`, the same object every time.
  std::shared_ptr<DEVICE_DATA> gaugeAt(const std::string& path);

  std::unique_ptr<UsbPlatform> usb_;
  bool bindingValid_ = false;
  bool infoSetHeld_ = false;
  std::uint32_t deviceCount_ = 0;
  std::uint32_t currentIndex_ = 0;
  // The slots; one past the last found gauge they hold spare objects, as the list always did.
  std::array<std::shared_ptr<DEVICE_DATA>, kMaxDevices> pDevDataList;
  std::map<std::string, std::shared_ptr<DEVICE_DATA>> byPath_;
  std::array<std::atomic<std::int32_t>, kMaxDevices> slotSerials_;
  DEVICE_DATA finder_;  // reads each member's path into the log before a gauge object is chosen
};

}  // namespace qx5
