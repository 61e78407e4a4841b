#include "qx5_dll/usb/record/RecordingUsbPlatform.h"

#include <cstdlib>

#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5_dll/usb/record/PcapRecording.h"

namespace qx5::usb {
namespace {

std::uint32_t littleEndian32(const std::uint8_t* bytes) {
  return std::uint32_t{bytes[0]} | std::uint32_t{bytes[1]} << 8 | std::uint32_t{bytes[2]} << 16 |
         std::uint32_t{bytes[3]} << 24;
}

}  // namespace

RecordingUsbPlatform::RecordingUsbPlatform(std::unique_ptr<UsbPlatform> inner,
                                           std::unique_ptr<PacketSink> sink)
    : inner_(std::move(inner)), sink_(std::move(sink)) {}

DeviceHandle RecordingUsbPlatform::openDevice(const std::string& path) {
  const DeviceHandle device = inner_->openDevice(path);
  if (device == kInvalidDeviceHandle) return device;
  std::lock_guard lock(mutex_);
  const auto [found, added] = gauges_.emplace(path, static_cast<int>(gauges_.size()));
  if (added) sink_->gauge(found->second, path);
  devices_[device] = found->second;
  return device;
}

bool RecordingUsbPlatform::closeDevice(DeviceHandle device) {
  const bool closed = inner_->closeDevice(device);
  std::lock_guard lock(mutex_);
  if (closed) devices_.erase(device);
  return closed;
}

bool RecordingUsbPlatform::initialize(DeviceHandle device, InterfaceHandle& iface) {
  if (!inner_->initialize(device, iface)) return false;
  std::lock_guard lock(mutex_);
  const auto found = devices_.find(device);
  if (found != devices_.end()) interfaces_[iface] = found->second;
  return true;
}

bool RecordingUsbPlatform::freeInterface(InterfaceHandle iface) {
  const bool freed = inner_->freeInterface(iface);
  std::lock_guard lock(mutex_);
  if (freed) interfaces_.erase(iface);
  return freed;
}

int RecordingUsbPlatform::gaugeOf(InterfaceHandle iface) {
  std::lock_guard lock(mutex_);
  const auto found = interfaces_.find(iface);
  return found == interfaces_.end() ? -1 : found->second;
}

bool RecordingUsbPlatform::writePipe(InterfaceHandle iface, std::uint8_t pipeId,
                                     const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t& written) {
  const bool ok = inner_->writePipe(iface, pipeId, data, length, written);
  if (ok && data && written) {
    if (const int gauge = gaugeOf(iface); gauge >= 0)
      sink_->packet(gauge, recording::Direction::ToGauge, pipeId, data, written);
  }
  return ok;
}

bool RecordingUsbPlatform::readPipe(InterfaceHandle iface, std::uint8_t pipeId,
                                    std::uint8_t* buffer, std::uint32_t capacity,
                                    std::uint32_t& received) {
  const bool ok = inner_->readPipe(iface, pipeId, buffer, capacity, received);
  if (ok && buffer && received && received <= capacity) {
    if (const int gauge = gaugeOf(iface); gauge >= 0) {
      sink_->packet(gauge, recording::Direction::FromGauge, pipeId, buffer, received);
      noteIdentity(gauge, buffer, received);
    }
  }
  return ok;
}

void RecordingUsbPlatform::noteIdentity(int gauge, const std::uint8_t* reply, std::size_t count) {
  using namespace packet;
  if (count < kMinimumReply || reply[kMarkerOffset] != kMarker || reply[kReplyStatusOffset] != 0)
    return;
  const std::size_t data = count - kReplyDataOffset;
  const std::uint8_t* bytes = reply + kReplyDataOffset;
  std::string key, value;
  switch (reply[kReplyCommandOffset]) {
    case command::GetSerialNumber:
      if (data < 4) return;
      key = "serial";
      value = std::to_string(static_cast<std::int32_t>(littleEndian32(bytes)));
      break;
    case command::GetChipset:
      if (data < 4) return;
      key = "chipset";
      value = std::to_string(littleEndian32(bytes));
      break;
    case command::GetQX5FirmwareVersion: {
      std::size_t length = std::min<std::size_t>(reply[kReplyDataLengthOffset], data);
      for (std::size_t i = 0; i < length; ++i)
        if (bytes[i] < 0x20 || bytes[i] > 0x7E) length = i;  // text up to the first odd byte
      if (length == 0) return;
      key = "firmware";
      value.assign(reinterpret_cast<const char*>(bytes), length);
      break;
    }
    default:
      return;
  }
  {
    std::lock_guard lock(mutex_);
    if (!identitySeen_.emplace(gauge, key).second) return;
  }
  sink_->identity(gauge, key, value);
}

std::unique_ptr<UsbPlatform> recordIfAsked(std::unique_ptr<UsbPlatform> inner,
                                           const std::string& libraryVersion,
                                           ReportFunction report) {
  const char* path = std::getenv("QX5_RECORD");
  if (!path || !*path) return inner;
  const std::string file = path;
  const bool capture = file.size() > 5 && file.compare(file.size() - 5, 5, ".pcap") == 0;
  std::unique_ptr<PacketSink> sink;
  if (capture)
    sink = std::make_unique<PcapRecording>(file, std::move(report));
  else
    sink = std::make_unique<TextRecording>(file, libraryVersion, std::move(report));
  return std::make_unique<RecordingUsbPlatform>(std::move(inner), std::move(sink));
}

}  // namespace qx5::usb
