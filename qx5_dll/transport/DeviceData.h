// One gauge slot of the device list: where the gauge was found, its open handles and pipes,
// and the command packet exchange over those pipes.
#pragma once

#include <atomic>
#include <cstdint>
#include <mutex>
#include <string>

#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5 {

// Interface paths of gauges contain this, in lower case; anything else is another device.
inline constexpr const char* kGaugePathFilter = "vid_04d8&pid_000c";

class DEVICE_DATA {
 public:
  DEVICE_DATA() : creationOrder(nextCreationOrder()) {}
  DEVICE_DATA(UsbPlatform* usb, int index)
      : usb(usb), index(index), creationOrder(nextCreationOrder()) {}
  // Closes what the slot still holds open.
  ~DEVICE_DATA();
  DEVICE_DATA(const DEVICE_DATA&) = delete;
  DEVICE_DATA& operator=(const DEVICE_DATA&) = delete;

  // Writes `length` bytes of `packet` to the OUT pipe and reads the reply into `reply`, whose
  // capacity `replyLength` gives on entry and which holds the count received on return. A
  // short or mismatched reply flushes the IN pipe and sends the packet once more.
  bool SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                         std::uint32_t& replyLength);
  // Reads and discards whatever waits in the IN pipe. Always true.
  bool FlushInputPipe();

  // Discovery and opening (DeviceDataOpen.cpp).
  // Member `memberIndex` of the enumeration into this slot; `more` false at the end of the list.
  bool GetInfoSetDevicesPath(std::uint32_t memberIndex, bool& more);
  // Opens the path, the interface on it, its pipes, and checks the speed.
  bool GetDevicesWinUsbHandle();
  bool OpenDeviceInterface();
  bool GetDevicesEndPoints();
  bool CheckEndpoint(std::uint8_t endpointIndex);
  bool SetPipePolicy(std::uint8_t pipe, const char* name);
  bool GetDeviceSpeed(std::uint8_t& speed);
  void CloseDeviceInterface();
  void FreeWinUsbInterface();
  // The identification query: true when the gauge answers with a serial number.
  bool CheckGauge();
  // Records the serial number an export read from this gauge; a change from `previous` (what the
  // caller last knew there: this gauge's own for a handle, the slot's for the legacy exports,
  // which tell a reordered bus that way) is an error line.
  void FoundNewSerialNumber(int serial, std::int32_t previous);
  void FoundNewSerialNumber(int serial) { FoundNewSerialNumber(serial, serialNumber); }
  // Makes "[index,serial]" (or "[index,?]" before the serial is known) the tag of the calling
  // thread's log lines.
  void TagLog() const;

  // Held by whoever talks to this gauge, for the whole of a call: exports and twins through their
  // frame, enumeration while it reopens the gauge. Exchanges check that their thread holds it.
  std::recursive_mutex& lock() { return lock_; }
  bool lockedByThisThread() const;
  // Set when a packet could not be written (the gauge went away, e.g. to restart); a handle's
  // next call opens the gauge again at its path.
  std::atomic<bool> lost{false};

  UsbPlatform* usb = nullptr;  // not owned; null once the device list is gone
  std::string devicePath;
  DeviceHandle deviceHandle = kInvalidDeviceHandle;
  InterfaceHandle winUsbHandle = kInvalidInterfaceHandle;
  std::uint8_t pipeInId = 0;
  std::uint8_t pipeOutId = 0;
  int index = 0;
  std::int32_t serialNumber = -1;  // unknown
  // Older objects first: the one order in which a thread takes several gauges' locks.
  const std::uint64_t creationOrder;

 private:
  static std::uint64_t nextCreationOrder();
  friend class DeviceLock;
  std::recursive_mutex lock_;
  std::atomic<std::uintptr_t> owner_{0};  // the thread holding lock_ (0: none)
  int depth_ = 0;                         // lock_'s recursion, touched only by its holder
};

// Exchanges that ran without their gauge's lock held by their thread (tests expect none).
extern std::atomic<unsigned> exchangesWithoutLock;

// Takes a gauge's lock, recording its holder so an exchange can check it runs under it.
class DeviceLock {
 public:
  explicit DeviceLock(DEVICE_DATA& device);
  ~DeviceLock();
  DeviceLock(DeviceLock&& other) noexcept : device_(other.device_) { other.device_ = nullptr; }
  DeviceLock(const DeviceLock&) = delete;
  DeviceLock& operator=(const DeviceLock&) = delete;
  DeviceLock& operator=(DeviceLock&&) = delete;

 private:
  DEVICE_DATA* device_;
};

}  // namespace qx5
