#include "qx5_dll/transport/mchpusb.h"

#include <algorithm>
#include <string>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"

namespace qx5 {

mchpusb::mchpusb(std::unique_ptr<UsbPlatform> usb) : usb_(std::move(usb)) { construct(); }

void mchpusb::construct() {
  // One platform object stands in for both of the Windows bindings, so both lines follow it.
  bindingValid_ = usb_ && usb_->isComplete();
  if (bindingValid_) {
    LogPrint(8, "SETUPAPIWrapper success\n");
    LogPrint(8, "WINUSBWrapper success\n");
    LogPrint(8, "USB platform: %s", usb_->name());
  } else {
    LogPrint(1, "Invalid setupapi wrapper\n");
    LogPrint(1, "Invalid WinUSB wrapper\n");
    LogPrint(1, "USB platform unavailable: %s", usb_ ? usb_->name() : "none");
  }
  for (std::uint32_t i = 0; i < kMaxDevices; ++i)
    pDevDataList[i] = std::make_shared<DEVICE_DATA>(usb_.get(), static_cast<int>(i));
  finder_.usb = usb_.get();
  for (auto& serial : slotSerials_) serial = -1;
}

mchpusb::~mchpusb() {
  DeleteInfoSetHandle();
  DeleteDeviceDataList();
  // Handles may keep a gauge's object alive: it must not reach the platform that goes now.
  auto forget = [](DEVICE_DATA& device) {
    DeviceLock lock(device);
    device.FreeWinUsbInterface();
    device.CloseDeviceInterface();
    device.usb = nullptr;
  };
  for (auto& slot : pDevDataList) forget(*slot);
  for (auto& [path, device] : byPath_) forget(*device);
  finder_.usb = nullptr;
}

void mchpusb::DeleteInfoSetHandle() {
  if (!infoSetHeld_) return;
  usb_->endEnumeration();
  infoSetHeld_ = false;
}

void mchpusb::DeleteDeviceDataList() {
  for (auto& slot : pDevDataList) {
    DeviceLock lock(*slot);
    slot->CloseDeviceInterface();
  }
}

std::shared_ptr<DEVICE_DATA> mchpusb::gaugeAt(const std::string& path) {
  std::shared_ptr<DEVICE_DATA>& device = byPath_[path];
  if (!device) device = std::make_shared<DEVICE_DATA>(usb_.get(), 0);
  return device;
}

std::uint32_t mchpusb::UpdateDeviceList() {
  QX5_LOG_SCOPE(scope, "mchpusb::UpdateDeviceList", "UpdateDeviceList");
  if (!bindingValid_) return 0;
  // Every known gauge stays locked until the list is whole again, so a handle's call never sees
  // its gauge between closing and opening. Only this thread (under the state lock) takes more
  // than one gauge lock; it takes them oldest first, the gauges made meanwhile after them.
  std::vector<std::shared_ptr<DEVICE_DATA>> known(pDevDataList.begin(), pDevDataList.end());
  for (auto& [path, device] : byPath_) known.push_back(device);
  std::sort(known.begin(), known.end(), [](const auto& a, const auto& b) {
    return a->creationOrder < b->creationOrder;
  });
  known.erase(std::unique(known.begin(), known.end()), known.end());
  std::vector<std::pair<std::shared_ptr<DEVICE_DATA>, DeviceLock>> held;
  auto hold = [&held](const std::shared_ptr<DEVICE_DATA>& device) {
    held.emplace_back(device, DeviceLock(*device));
  };
  held.reserve(known.size() + kMaxDevices);
  for (auto& device : known) hold(device);
  DeleteDeviceDataList();
  DeleteInfoSetHandle();
  deviceCount_ = 0;
  if (!usb_->beginEnumeration()) {
    scope.ErrorWithCode(usb_->lastError(), "SetupDiGetClassDevs returned INVALID");
    DeleteInfoSetHandle();
    return 0;
  }
  infoSetHeld_ = true;
  bool more = true;
  std::uint32_t member = 0;
  for (; more && member < kMaxMembers; ++member) {
    if (deviceCount_ >= kMaxDevices) {
      // Only a gauge that is really there displaces the last one: with exactly 16 gauges the
      // end of the list, or a member that is another device, must not cost a slot.
      if (!nextMemberIsGauge(member, more)) continue;
      scope.Error("too many devices: max is %d", static_cast<int>(kMaxDevices));
      deviceCount_ = kMaxDevices - 1;  // the last slot takes the next gauge
    }
    finder_.index = static_cast<int>(deviceCount_);
    if (!finder_.GetInfoSetDevicesPath(member, more)) continue;
    std::shared_ptr<DEVICE_DATA> gauge = gaugeAt(finder_.devicePath);
    hold(gauge);
    gauge->index = static_cast<int>(deviceCount_);
    gauge->devicePath = finder_.devicePath;
    pDevDataList[deviceCount_] = gauge;
    if (gauge->GetDevicesWinUsbHandle() && gauge->CheckGauge()) {
      gauge->lost.store(false, std::memory_order_relaxed);
      ++deviceCount_;
    }
  }
  // Past the found gauges the slots hold spare objects again, never a gauge that left.
  for (std::uint32_t i = deviceCount_; i < kMaxDevices; ++i)
    if (!pDevDataList[i]->devicePath.empty())
      pDevDataList[i] = std::make_shared<DEVICE_DATA>(usb_.get(), static_cast<int>(i));
  if (more && member == kMaxMembers)
    scope.Error("enumeration stopped after %u members without reaching the end", member);
  if (deviceCount_ == 0) {
    scope.Info("no devices found");
    return 0;
  }
  SetDeviceInstance(currentIndex_);
  return deviceCount_;
}

bool mchpusb::nextMemberIsGauge(std::uint32_t member, bool& more) {
  std::string path;
  if (usb_->interfacePath(member, path)) return path.find(kGaugePathFilter) != std::string::npos;
  more = !usb_->isEndOfList(usb_->lastError());
  return false;
}

std::uint32_t mchpusb::UpdateAndGetDeviceCount() {
  QX5_LOG_SCOPE(scope, "mchpusb::UpdateAndGetDeviceCount", "UpdateAndGetDeviceCount");
  return UpdateDeviceList();
}

bool mchpusb::SetDeviceInstance(std::uint32_t index) {
  QX5_LOG_SCOPE(scope, "mchpusb::SetDeviceInstance", "SetDeviceInstance %u", index);
  if (deviceCount_ == 0) UpdateDeviceList();
  if (index >= deviceCount_) return false;
  currentIndex_ = index;
  pDevDataList[index]->TagLog();
  return true;
}

bool mchpusb::Reopen(DEVICE_DATA& device) {
  QX5_LOG_SCOPE(scope, "mchpusb::Reopen", "Reopen %s", device.devicePath.c_str());
  if (!bindingValid_ || !device.usb || device.devicePath.empty()) return false;
  DeleteInfoSetHandle();
  if (!usb_->beginEnumeration()) return false;
  infoSetHeld_ = true;
  std::string path;
  for (std::uint32_t member = 0; member < kMaxMembers; ++member) {
    if (!usb_->interfacePath(member, path)) {
      if (usb_->isEndOfList(usb_->lastError())) break;
      continue;
    }
    if (path != device.devicePath) continue;
    bool more = true;
    if (!device.GetInfoSetDevicesPath(member, more) || !device.GetDevicesWinUsbHandle() ||
        !device.CheckGauge())
      return false;
    device.lost.store(false, std::memory_order_relaxed);
    return true;
  }
  scope.Error("gauge %d at %s is not attached", device.serialNumber, device.devicePath.c_str());
  return false;
}

bool mchpusb::SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                                std::uint32_t& replyLength) {
  if (!bindingValid_) return false;
  DEVICE_DATA& current = currentDevice();
  DeviceLock lock(current);
  return current.SendReceivePacket(packet, length, reply, replyLength);
}

bool mchpusb::FlushInputPipe() {
  if (!bindingValid_) return false;
  DEVICE_DATA& current = currentDevice();
  DeviceLock lock(current);
  return current.FlushInputPipe();
}

}  // namespace qx5
