// QX5_RECORD: a USB platform that passes every call to the one chosen at start-up, unchanged,
// and tells a sink of each gauge it opens and of every packet written to or read from one.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <string>

#include "qx5_dll/usb/UsbPlatform.h"
#include "qx5_dll/usb/record/PacketSink.h"
#include "qx5_dll/usb/record/TextRecording.h"

namespace qx5::usb {

class RecordingUsbPlatform : public UsbPlatform {
 public:
  RecordingUsbPlatform(std::unique_ptr<UsbPlatform> inner, std::unique_ptr<PacketSink> sink);

  bool isComplete() const override { return inner_->isComplete(); }
  const char* name() const override { return inner_->name(); }
  bool beginEnumeration() override { return inner_->beginEnumeration(); }
  bool interfacePath(std::uint32_t memberIndex, std::string& path) override {
    return inner_->interfacePath(memberIndex, path);
  }
  void endEnumeration() override { inner_->endEnumeration(); }

  DeviceHandle openDevice(const std::string& path) override;
  bool closeDevice(DeviceHandle device) override;
  bool initialize(DeviceHandle device, InterfaceHandle& iface) override;
  bool freeInterface(InterfaceHandle iface) override;

  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override {
    return inner_->queryDeviceSpeed(iface, speed);
  }
  bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternateSetting,
                              UsbInterfaceDescriptor& descriptor) override {
    return inner_->queryInterfaceSettings(iface, alternateSetting, descriptor);
  }
  bool queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting, std::uint8_t pipeIndex,
                 UsbPipeInformation& pipe) override {
    return inner_->queryPipe(iface, alternateSetting, pipeIndex, pipe);
  }
  bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                      std::uint32_t milliseconds) override {
    return inner_->setPipeTimeout(iface, pipeId, milliseconds);
  }
  bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) override {
    return inner_->flushPipe(iface, pipeId);
  }
  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override;
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override;

  int lastError() const override { return inner_->lastError(); }
  bool isTimeout(int error) const override { return inner_->isTimeout(error); }
  bool isEndOfList(int error) const override { return inner_->isEndOfList(error); }

 private:
  // The gauge behind an interface, or -1 for one this platform did not see claimed.
  int gaugeOf(InterfaceHandle iface);
  // Serial number, firmware version and chipset, from the replies that carry them.
  void noteIdentity(int gauge, const std::uint8_t* reply, std::size_t count);

  std::unique_ptr<UsbPlatform> inner_;
  std::unique_ptr<PacketSink> sink_;
  std::mutex mutex_;                   // the maps below; the sink guards itself
  std::map<std::string, int> gauges_;  // by interface path, numbered as first opened
  std::map<DeviceHandle, int> devices_;
  std::map<InterfaceHandle, int> interfaces_;
  std::set<std::pair<int, std::string>> identitySeen_;
};

// Wraps `inner` when QX5_RECORD names a file (a ".pcap" name writes a USB capture); returns
// `inner` unchanged otherwise.
std::unique_ptr<UsbPlatform> recordIfAsked(std::unique_ptr<UsbPlatform> inner,
                                           const std::string& libraryVersion,
                                           ReportFunction report);

}  // namespace qx5::usb
