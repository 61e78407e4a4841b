// Talks to simulated gauges the way the transport does: enumerate, open, find the pipes,
// write a packet, read the reply.
#pragma once

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "support/TempDir.h"

namespace qx5::sim::testing {

using Bytes = std::vector<std::uint8_t>;

// A default 36-byte command packet with parameters placed from offset 8 on.
inline Bytes command(std::uint8_t code,
                     std::initializer_list<std::pair<int, std::uint8_t>> params = {}) {
  Bytes packet(36, 0);
  const std::uint8_t header[] = {0x38, 0x24, 0x01, 0x01, 0x0B, 0x1E, 0x00, code};
  std::memcpy(packet.data(), header, sizeof header);
  for (const auto& [offset, value] : params) packet.at(offset) = value;
  return packet;
}

// The memory-request layout: big-endian address, count, data; length set to count + 13.
inline Bytes memoryRequest(std::uint8_t code, std::uint32_t address, const Bytes& data,
                           std::size_t count) {
  Bytes packet = command(code);
  packet.resize(13 + data.size());
  packet[1] = static_cast<std::uint8_t>(13 + data.size());
  packet[5] = static_cast<std::uint8_t>(5 + data.size());
  packet[8] = static_cast<std::uint8_t>(address >> 24);
  packet[9] = static_cast<std::uint8_t>(address >> 16);
  packet[10] = static_cast<std::uint8_t>(address >> 8);
  packet[11] = static_cast<std::uint8_t>(address);
  packet[12] = static_cast<std::uint8_t>(count);
  std::copy(data.begin(), data.end(), packet.begin() + 13);
  return packet;
}

inline Bytes readRequest(std::uint32_t address, std::size_t count) {
  Bytes packet = memoryRequest(72, address, {}, count);
  packet.resize(36);
  packet[1] = 36;
  packet[5] = 30;
  return packet;
}

inline Bytes eraseRequest(std::uint32_t address, std::uint16_t length) {
  Bytes packet =
      memoryRequest(74, address, {static_cast<std::uint8_t>(length >> 8)}, length & 0xFF);
  return packet;  // 14 bytes: length low at 12, high at 13
}

inline Bytes bootRequest(std::uint8_t mode) {
  Bytes packet = command(75, {{8, mode}});
  packet.resize(9);
  packet[1] = 9;
  packet[5] = 1;
  return packet;
}

inline Bytes runTestRequest(std::uint32_t test, const Bytes& input) {
  return memoryRequest(76, test, input, input.size());
}

inline float floatAt(const Bytes& reply, std::size_t offset) {
  float value;
  std::memcpy(&value, reply.data() + offset, sizeof value);
  return value;
}

inline std::int32_t int32At(const Bytes& reply, std::size_t offset) {
  std::int32_t value;
  std::memcpy(&value, reply.data() + offset, sizeof value);
  return value;
}

inline std::int16_t int16At(const Bytes& reply, std::size_t offset) {
  return static_cast<std::int16_t>(reply.at(offset) | reply.at(offset + 1) << 8);
}

inline void putFloat(Bytes& packet, std::size_t offset, float value) {
  std::memcpy(packet.data() + offset, &value, sizeof value);
}

// Text reply as the decoders read it: byte 5 says how many bytes from offset 8.
inline std::string textOf(const Bytes& reply) {
  return std::string(reply.begin() + 8, reply.begin() + 8 + reply.at(5));
}

// One opened gauge on a platform: its interface and pipes, as the transport finds them.
class OpenGauge {
 public:
  OpenGauge(SimulatedUsbPlatform& platform, const std::string& path) : platform_(&platform) {
    device_ = platform.openDevice(path);
    EXPECT_NE(device_, kInvalidDeviceHandle) << path;
    EXPECT_TRUE(platform.initialize(device_, iface_));
    UsbInterfaceDescriptor descriptor;
    EXPECT_TRUE(platform.queryInterfaceSettings(iface_, 0, descriptor));
    for (std::uint8_t i = 0; i < descriptor.numEndpoints; ++i) {
      UsbPipeInformation pipe;
      EXPECT_TRUE(platform.queryPipe(iface_, 0, i, pipe));
      (pipe.pipeId & 0x80 ? in_ : out_) = pipe.pipeId;
      EXPECT_TRUE(platform.setPipeTimeout(iface_, pipe.pipeId, 2000));
    }
  }

  bool write(const Bytes& packet) {
    std::uint32_t written = 0;
    return platform_->writePipe(iface_, out_, packet.data(),
                                static_cast<std::uint32_t>(packet.size()), written);
  }
  // The reply, or an empty vector when the read failed (error in lastError()).
  Bytes read() {
    Bytes reply(64, 0);
    std::uint32_t received = 0;
    if (!platform_->readPipe(iface_, in_, reply.data(), 64, received)) return {};
    reply.resize(received);
    return reply;
  }
  Bytes exchange(const Bytes& packet) {
    if (!write(packet)) return {};
    return read();
  }
  // Exchange expecting a full, well-echoed reply.
  Bytes ok(const Bytes& packet) {
    Bytes reply = exchange(packet);
    EXPECT_EQ(reply.size(), 64u) << "command " << int(packet.at(7));
    if (reply.size() < 64) reply.resize(64, 0);
    EXPECT_EQ(reply[7], packet[7]);
    EXPECT_EQ(reply[6] == 0xFF, false) << "error status for command " << int(packet[7]);
    return reply;
  }
  InterfaceHandle iface() const { return iface_; }
  DeviceHandle device() const { return device_; }
  std::uint8_t inPipe() const { return in_; }
  std::uint8_t outPipe() const { return out_; }

 private:
  SimulatedUsbPlatform* platform_;
  DeviceHandle device_ = kInvalidDeviceHandle;
  InterfaceHandle iface_ = kInvalidInterfaceHandle;
  std::uint8_t in_ = 0, out_ = 0;
};

inline std::vector<std::string> enumerate(SimulatedUsbPlatform& platform) {
  std::vector<std::string> paths;
  EXPECT_TRUE(platform.beginEnumeration());
  std::string path;
  for (std::uint32_t i = 0; platform.interfacePath(i, path); ++i) paths.push_back(path);
  EXPECT_TRUE(platform.isEndOfList(platform.lastError()));
  platform.endEnumeration();
  return paths;
}

// The gauges' time and the bus's waits on one clock; the real one when null.
inline std::unique_ptr<Environment> countedEnvironment(int count, platform::Clock* clock) {
  return std::make_unique<Environment>(
      count, clock ? ClockSource([clock] { return clock->now(); }) : ClockSource{});
}

// Gauges without a directory, and the first one opened.
struct CountedGauges {
  explicit CountedGauges(int count = 1, platform::Clock* clock = nullptr)
      : platform(countedEnvironment(count, clock), {"", 0, clock}), paths(enumerate(platform)) {}
  OpenGauge open(std::size_t index = 0) { return OpenGauge(platform, paths.at(index)); }
  SimulatedUsbPlatform platform;
  std::vector<std::string> paths;
};

// A fresh directory for QX5SIM=DIR tests, removed afterwards.
class GaugeDirectory {
 public:
  void write(const std::string& name, const std::string& text) const {
    std::ofstream(path() / (name + ".gauge")) << text;
  }
  void remove(const std::string& name) const {
    std::filesystem::remove(path() / (name + ".gauge"));
  }
  std::unique_ptr<Environment> environment(std::ostream& messages) const {
    return std::make_unique<Environment>(path(), messages);
  }
  const std::filesystem::path& path() const { return dir_.path(); }

 private:
  qx5::test::TempDir dir_;
};

// Shortens silent reads for the life of a test.
struct ShortTimeouts {
  explicit ShortTimeouts(std::uint32_t ms = 50) { SimulatedUsbPlatform::setTimeoutCeilingMs(ms); }
  ~ShortTimeouts() { SimulatedUsbPlatform::setTimeoutCeilingMs(0); }
};

}  // namespace qx5::sim::testing
