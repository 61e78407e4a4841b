// The library in this process against simulated gauges: every device list it makes reaches the
// same fresh gauges sim0, sim1, ..., every packet on the wire lands in a trace the test reads
// back, and a test can silence a gauge or rewrite the replies the library reads.
//
//   SimulatedLibrary sim;              // one gauge, library as at load
//   ASSERT_TRUE(sim.attach());         // GetDeviceCount + UsbPort(0), trace emptied
//   EXPECT_EQ(GetSerialNumber(), 10001);
//   EXPECT_EQ(sim.sent(), (std::vector<Bytes>{SimulatedLibrary::command(30)}));
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <memory>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gaugesim/Environment.h"
#include "gaugesim/Gauge.h"
#include "gaugesim/SimulatedUsbPlatform.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Processes.h"
#include "qx5_dll/transport/UsbPlatformFactory.h"
#include "qx5dll.h"
#include "support/TempDir.h"

namespace qx5::test {

using Bytes = std::vector<std::uint8_t>;

struct TracedPacket {
  char direction = 0;  // '>' to the gauge, '<' from it
  std::string gauge;
  Bytes bytes;
};

// Hands every call to the simulator; a read that succeeded may have its bytes rewritten first.
class ReplyEditingPlatform : public UsbPlatform {
 public:
  using Edit = std::function<void(Bytes& reply)>;
  ReplyEditingPlatform(std::unique_ptr<UsbPlatform> inner, const Edit* edit)
      : inner_(std::move(inner)), edit_(edit) {}

  bool isComplete() const override { return inner_->isComplete(); }
  const char* name() const override { return inner_->name(); }
  bool beginEnumeration() override { return inner_->beginEnumeration(); }
  bool interfacePath(std::uint32_t member, std::string& path) override {
    return inner_->interfacePath(member, path);
  }
  void endEnumeration() override { inner_->endEnumeration(); }
  DeviceHandle openDevice(const std::string& path) override { return inner_->openDevice(path); }
  bool closeDevice(DeviceHandle device) override { return inner_->closeDevice(device); }
  bool initialize(DeviceHandle device, InterfaceHandle& iface) override {
    return inner_->initialize(device, iface);
  }
  bool freeInterface(InterfaceHandle iface) override { return inner_->freeInterface(iface); }
  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override {
    return inner_->queryDeviceSpeed(iface, speed);
  }
  bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternate,
                              UsbInterfaceDescriptor& descriptor) override {
    return inner_->queryInterfaceSettings(iface, alternate, descriptor);
  }
  bool queryPipe(InterfaceHandle iface, std::uint8_t alternate, std::uint8_t index,
                 UsbPipeInformation& pipe) override {
    return inner_->queryPipe(iface, alternate, index, pipe);
  }
  bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId, std::uint32_t ms) override {
    return inner_->setPipeTimeout(iface, pipeId, ms);
  }
  bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) override {
    ++flushes;
    return inner_->flushPipe(iface, pipeId);
  }
  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    return inner_->writePipe(iface, pipeId, data, length, written);
  }
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    if (!inner_->readPipe(iface, pipeId, buffer, capacity, received)) return false;
    if (edit_ && *edit_) {
      Bytes reply(buffer, buffer + received);
      (*edit_)(reply);
      received = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, reply.size()));
      std::memcpy(buffer, reply.data(), received);
    }
    return true;
  }
  int lastError() const override { return inner_->lastError(); }
  bool isTimeout(int error) const override { return inner_->isTimeout(error); }
  bool isEndOfList(int error) const override { return inner_->isEndOfList(error); }

  int flushes = 0;

 private:
  std::unique_ptr<UsbPlatform> inner_;
  const Edit* edit_;
};

class SimulatedLibrary {
 public:
  // `gauges` fresh gauges; the library is reset to its state at load. Long runs may go
  // without the trace.
  explicit SimulatedLibrary(int gauges = 1, bool traced = true) : gauges_(gauges) {
    setGuardedFileName("no-such-library-" + std::to_string(platform::currentProcessId()));
    api::ResetLibraryState();
    setUsbPlatformFactory([this, traced] {
      sim::SimulationOptions options;
      if (traced) options.tracePath = trace_.file("trace");
      auto simulated = std::make_unique<sim::SimulatedUsbPlatform>(
          std::make_unique<sim::Environment>(gauges_), options);
      simulator_ = simulated.get();
      auto editing = std::make_unique<ReplyEditingPlatform>(std::move(simulated), &editReply);
      platform_ = editing.get();
      return editing;
    });
  }
  ~SimulatedLibrary() {
    api::ResetLibraryState();
    setUsbPlatformFactory(nullptr);
    setGuardedFileName("");
    sim::SimulatedUsbPlatform::setTimeoutCeilingMs(0);
  }
  SimulatedLibrary(const SimulatedLibrary&) = delete;
  SimulatedLibrary& operator=(const SimulatedLibrary&) = delete;

  // Counts the gauges and selects gauge `index`; the trace starts empty afterwards.
  bool attach(unsigned char index = 0) {
    const bool ok = GetDeviceCount() == gauges_ && UsbPort(index);
    takeTrace();
    return ok;
  }

  // A gauge of the current device list (null before the library made one).
  std::shared_ptr<sim::Gauge> gauge(const std::string& name = "sim0") const {
    return simulator_ ? simulator_->gauge(name) : nullptr;
  }

  // The gauge stops answering; its reads time out after `timeoutMs` instead of the pipe's 2 s.
  void silence(const std::string& name = "sim0", std::uint32_t timeoutMs = 20) {
    sim::SimulatedUsbPlatform::setTimeoutCeilingMs(timeoutMs);
    auto silenced = gauge(name);
    ASSERT_TRUE(silenced) << name;
    sim::GaugeConfig config = silenced->config();
    config.faults.silent = true;
    silenced->reconfigure(config);
  }

  // Packets on the wire since the last take, in order.
  std::vector<TracedPacket> takeTrace() {
    std::ifstream in(trace_.file("trace"));
    std::vector<TracedPacket> packets;
    std::string line;
    for (std::size_t n = 0; std::getline(in, line); ++n) {
      if (n < traceLinesTaken_) continue;
      ++traceLinesTaken_;
      std::istringstream fields(line);
      TracedPacket packet;
      fields >> packet.direction >> packet.gauge;
      unsigned byte = 0;
      while (fields >> std::hex >> byte) packet.bytes.push_back(static_cast<std::uint8_t>(byte));
      packets.push_back(std::move(packet));
    }
    return packets;
  }
  // The packets written to the gauges since the last take.
  std::vector<Bytes> sent() { return direction('>'); }
  // The replies read from the gauges since the last take.
  std::vector<Bytes> received() { return direction('<'); }

  // A default command packet as the library writes it: header, length 36, parameters at their
  // offsets, zeros elsewhere.
  static Bytes command(std::uint8_t code,
                       std::initializer_list<std::pair<int, std::uint8_t>> params = {}) {
    Bytes packet(36, 0);
    const std::uint8_t header[] = {0x38, 0x24, 0x01, 0x01, 0x0B, 0x1E, 0x00, code};
    std::memcpy(packet.data(), header, sizeof header);
    for (const auto& [offset, value] : params) packet.at(static_cast<std::size_t>(offset)) = value;
    return packet;
  }

  // Applied to every reply the library reads (after the trace recorded it); empty: none.
  ReplyEditingPlatform::Edit editReply;

  ReplyEditingPlatform* platform() const { return platform_; }
  sim::SimulatedUsbPlatform* simulator() const { return simulator_; }
  std::string tracePath() const { return trace_.file("trace"); }

 private:
  std::vector<Bytes> direction(char wanted) {
    std::vector<Bytes> packets;
    for (auto& packet : takeTrace())
      if (packet.direction == wanted) packets.push_back(std::move(packet.bytes));
    return packets;
  }

  int gauges_;
  TempDir trace_;
  std::size_t traceLinesTaken_ = 0;
  sim::SimulatedUsbPlatform* simulator_ = nullptr;
  ReplyEditingPlatform* platform_ = nullptr;
};

}  // namespace qx5::test
