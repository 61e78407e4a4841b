// A USB platform with a list of attached devices, for discovery and selection tests: each
// device has an interface path, answers the serial-number query with its serial (unless mute),
// and enumerates at the speed given. Tests edit `devices` between enumerations.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <deque>
#include <string>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/Errors.h"
#include "support/ForwardingUsbPlatform.h"

namespace qx5::test {

struct FakeDevice {
  std::string path;
  int serial = 0;
  bool answers = true;
  UsbSpeed speed = UsbSpeed::Full;
};

inline std::string gaugePath(int n, bool upperCase = false) {
  return std::string("usb#") + (upperCase ? "VID_04D8&PID_000C" : "vid_04d8&pid_000c") + "#1-" +
         std::to_string(n);
}

class FakeGaugeBus : public ForwardingUsbPlatform {
 public:
  static constexpr std::uint8_t kIn = 0x81, kOut = 0x01;

  // `count` answering gauges with serial numbers 1001, 1002, ...
  static std::vector<FakeDevice> gauges(int count) {
    std::vector<FakeDevice> list;
    for (int i = 0; i < count; ++i) list.push_back({gaugePath(i), 1001 + i});
    return list;
  }

  bool isComplete() const override { return complete; }
  const char* name() const override { return "fake bus"; }

  bool beginEnumeration() override {
    ++enumerations;
    snapshot_ = devices;
    return true;
  }
  bool interfacePath(std::uint32_t member, std::string& path) override {
    if (failEveryMember) return fail(platform::kErrorIo);
    if (member >= snapshot_.size()) return fail(platform::kErrorEndOfList);
    path = snapshot_[member].path;
    return true;
  }
  DeviceHandle openDevice(const std::string& path) override {
    for (std::size_t i = 0; i < snapshot_.size(); ++i)
      if (snapshot_[i].path == path) {
        ++openHandles;
        return i + 1;
      }
    return ForwardingUsbPlatform::openDevice(path);
  }
  bool closeDevice(DeviceHandle) override {
    --openHandles;
    return true;
  }
  bool initialize(DeviceHandle device, InterfaceHandle& iface) override {
    iface = device;
    return true;
  }
  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override {
    speed = snapshot_[iface - 1].speed;
    return true;
  }
  bool queryInterfaceSettings(InterfaceHandle, std::uint8_t, UsbInterfaceDescriptor& d) override {
    d.numEndpoints = 2;
    return true;
  }
  bool queryPipe(InterfaceHandle, std::uint8_t, std::uint8_t index,
                 UsbPipeInformation& pipe) override {
    pipe.pipeType = UsbPipeType::Interrupt;
    pipe.pipeId = index == 0 ? kIn : kOut;
    pipe.maximumPacketSize = 64;
    pipe.interval = 1;
    return true;
  }
  bool setPipeTimeout(InterfaceHandle, std::uint8_t pipeId, std::uint32_t ms) override {
    timeouts.push_back({pipeId, ms});
    return true;
  }
  bool writePipe(InterfaceHandle iface, std::uint8_t, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    if (iface == kInvalidInterfaceHandle || iface == 0 || iface > snapshot_.size())
      return fail(platform::kErrorInvalidHandle);
    written = length;
    const FakeDevice& device = snapshot_[iface - 1];
    if (device.answers && length >= 8) {
      std::vector<std::uint8_t> reply(16, 0);
      reply[7] = data[7];
      for (int b = 0; b < 4; ++b)
        reply[8 + b] = static_cast<std::uint8_t>(device.serial >> (8 * b));
      pending_.push_back(reply);
    }
    return true;
  }
  bool readPipe(InterfaceHandle, std::uint8_t, std::uint8_t* buffer, std::uint32_t capacity,
                std::uint32_t& received) override {
    received = 0;
    if (pending_.empty()) return fail(platform::kErrorTimeout);
    const auto reply = pending_.front();
    pending_.pop_front();
    received = std::min<std::uint32_t>(capacity, static_cast<std::uint32_t>(reply.size()));
    std::copy_n(reply.begin(), received, buffer);
    return true;
  }

  std::vector<FakeDevice> devices;
  bool complete = true;
  bool failEveryMember = false;
  int enumerations = 0;
  int openHandles = 0;
  std::vector<std::pair<std::uint8_t, std::uint32_t>> timeouts;

 private:
  std::vector<FakeDevice> snapshot_;
  std::deque<std::vector<std::uint8_t>> pending_;
};

// Runs `body` with the log at level 10 on standard output and returns what it printed.
template <typename Body>
std::string capturedLog(Body body) {
  logInit(kLogAll, nullptr, true);
  testing::internal::CaptureStdout();
  body();
  std::fflush(stdout);
  std::string text = testing::internal::GetCapturedStdout();
  logInit(kLogOff, nullptr, false);
  return text;
}

inline int occurrences(const std::string& text, const std::string& part) {
  int n = 0;
  for (auto at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++n;
  return n;
}

}  // namespace qx5::test
