#include "qx5_dll/transport/mchpusb.h"

#include <string>

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
    pDevDataList[i] = std::make_unique<DEVICE_DATA>(usb_.get(), static_cast<int>(i));
  current_ = pDevDataList[0].get();
}

mchpusb::~mchpusb() {
  DeleteInfoSetHandle();
  DeleteDeviceDataList();
  // The slots go before the platform they hold a pointer to.
  for (auto& slot : pDevDataList) slot.reset();
  current_ = nullptr;
}

void mchpusb::DeleteInfoSetHandle() {
  if (!infoSetHeld_) return;
  usb_->endEnumeration();
  infoSetHeld_ = false;
}

void mchpusb::DeleteDeviceDataList() {
  for (auto& slot : pDevDataList)
    if (slot) slot->CloseDeviceInterface();
}

std::uint32_t mchpusb::UpdateDeviceList() {
  QX5_LOG_SCOPE(scope, "mchpusb::UpdateDeviceList", "UpdateDeviceList");
  if (!bindingValid_) return 0;
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
    DEVICE_DATA& slot = *pDevDataList[deviceCount_];
    if (slot.GetInfoSetDevicesPath(member, more) && slot.GetDevicesWinUsbHandle() &&
        slot.CheckGauge())
      ++deviceCount_;
  }
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
  current_ = pDevDataList[index].get();
  if (current_->serialNumber < 1)
    SetLogDeviceTag("[%u,?]", index);
  else
    SetLogDeviceTag("[%u,%d]", index, current_->serialNumber);
  return true;
}

bool mchpusb::SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                                std::uint32_t& replyLength) {
  if (!bindingValid_) return false;
  return current_->SendReceivePacket(packet, length, reply, replyLength);
}

bool mchpusb::FlushInputPipe() {
  if (!bindingValid_) return false;
  return current_->FlushInputPipe();
}

}  // namespace qx5
