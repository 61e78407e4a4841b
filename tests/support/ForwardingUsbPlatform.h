// The base of every USB platform double: each call goes to an inner platform, so a double
// overrides only the calls it changes. Without an inner platform the calls reach an empty bus:
// enumeration, initialisation, queries and transfers fail as not supported, paths end the list
// and opening finds nothing, while closing, freeing, pipe timeouts and flushes succeed.
#pragma once

#include <memory>
#include <optional>
#include <string>
#include <utility>

#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5::test {

// The empty bus a forwarding double without an inner platform reaches.
class EmptyUsbBus : public UsbPlatform {
 public:
  bool isComplete() const override { return true; }
  const char* name() const override { return "null"; }
  bool beginEnumeration() override { return fail(platform::kErrorNotSupported); }
  bool interfacePath(std::uint32_t, std::string&) override {
    return fail(platform::kErrorEndOfList);
  }
  void endEnumeration() override {}
  DeviceHandle openDevice(const std::string&) override {
    fail(platform::kErrorNotFound);
    return kInvalidDeviceHandle;
  }
  bool closeDevice(DeviceHandle) override { return true; }
  bool initialize(DeviceHandle, InterfaceHandle&) override {
    return fail(platform::kErrorNotSupported);
  }
  bool freeInterface(InterfaceHandle) override { return true; }
  bool queryDeviceSpeed(InterfaceHandle, UsbSpeed&) override {
    return fail(platform::kErrorNotSupported);
  }
  bool queryInterfaceSettings(InterfaceHandle, std::uint8_t, UsbInterfaceDescriptor&) override {
    return fail(platform::kErrorNotSupported);
  }
  bool queryPipe(InterfaceHandle, std::uint8_t, std::uint8_t, UsbPipeInformation&) override {
    return fail(platform::kErrorNotSupported);
  }
  bool setPipeTimeout(InterfaceHandle, std::uint8_t, std::uint32_t) override { return true; }
  bool flushPipe(InterfaceHandle, std::uint8_t) override { return true; }
  bool writePipe(InterfaceHandle, std::uint8_t, const std::uint8_t*, std::uint32_t,
                 std::uint32_t&) override {
    return fail(platform::kErrorNotSupported);
  }
  bool readPipe(InterfaceHandle, std::uint8_t, std::uint8_t*, std::uint32_t,
                std::uint32_t&) override {
    return fail(platform::kErrorNotSupported);
  }
  int lastError() const override { return error_; }
  bool isTimeout(int error) const override { return error == platform::kErrorTimeout; }
  bool isEndOfList(int error) const override { return error == platform::kErrorEndOfList; }

 private:
  bool fail(int code) {
    error_ = code;
    return false;
  }
  int error_ = 0;
};

class ForwardingUsbPlatform : public UsbPlatform {
 public:
  explicit ForwardingUsbPlatform(std::unique_ptr<UsbPlatform> inner = nullptr)
      : inner_(inner ? std::move(inner) : std::make_unique<EmptyUsbBus>()) {}

  bool isComplete() const override { return inner_->isComplete(); }
  const char* name() const override { return inner_->name(); }
  bool beginEnumeration() override { return inner().beginEnumeration(); }
  bool interfacePath(std::uint32_t member, std::string& path) override {
    return inner().interfacePath(member, path);
  }
  void endEnumeration() override { inner().endEnumeration(); }
  DeviceHandle openDevice(const std::string& path) override { return inner().openDevice(path); }
  bool closeDevice(DeviceHandle device) override { return inner().closeDevice(device); }
  bool initialize(DeviceHandle device, InterfaceHandle& iface) override {
    return inner().initialize(device, iface);
  }
  bool freeInterface(InterfaceHandle iface) override { return inner().freeInterface(iface); }
  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override {
    return inner().queryDeviceSpeed(iface, speed);
  }
  bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternate,
                              UsbInterfaceDescriptor& descriptor) override {
    return inner().queryInterfaceSettings(iface, alternate, descriptor);
  }
  bool queryPipe(InterfaceHandle iface, std::uint8_t alternate, std::uint8_t index,
                 UsbPipeInformation& pipe) override {
    return inner().queryPipe(iface, alternate, index, pipe);
  }
  bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId, std::uint32_t ms) override {
    return inner().setPipeTimeout(iface, pipeId, ms);
  }
  bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) override {
    return inner().flushPipe(iface, pipeId);
  }
  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    return inner().writePipe(iface, pipeId, data, length, written);
  }
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    return inner().readPipe(iface, pipeId, buffer, capacity, received);
  }
  // A failure the double made up itself outlives the forwarded calls before it, but not those
  // after it.
  int lastError() const override { return ownError_ ? *ownError_ : inner_->lastError(); }
  bool isTimeout(int error) const override { return inner_->isTimeout(error); }
  bool isEndOfList(int error) const override { return inner_->isEndOfList(error); }

 protected:
  // A failure of the double's own, with its code in the platform's numbering.
  bool fail(int code) {
    ownError_ = code;
    return false;
  }

 private:
  UsbPlatform& inner() {
    ownError_.reset();
    return *inner_;
  }

  std::unique_ptr<UsbPlatform> inner_;
  std::optional<int> ownError_;
};

}  // namespace qx5::test
