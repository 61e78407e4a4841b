// The library (linked in) against simulated gauges of a fresh directory, with the simulator's
// trace of every packet and a hook that edits replies before the library reads them.
#pragma once

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <initializer_list>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include "gaugesim/SimulatedUsbPlatform.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/platform/Processes.h"
#include "qx5_dll/transport/UsbPlatformFactory.h"
#include "qx5dll.h"
#include "support/TempDir.h"

namespace qx5::test {

// Replies pass through `edit` (when set) on their way to the library; a mute gauge's reads
// time out at once.
class EditableSimulator : public sim::SimulatedUsbPlatform {
 public:
  using SimulatedUsbPlatform::SimulatedUsbPlatform;
  std::function<void(std::uint8_t* reply, std::uint32_t& received)> edit;
  bool mute = false;
  // Mute only after packets this says yes to.
  std::function<bool(const std::vector<std::uint8_t>& written)> muteAfter;
  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    lastWritten_.assign(data, data + length);
    return SimulatedUsbPlatform::writePipe(iface, pipeId, data, length, written);
  }
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    if (mute || (muteAfter && muteAfter(lastWritten_))) {
      received = 0;
      return false;
    }
    const bool ok = SimulatedUsbPlatform::readPipe(iface, pipeId, buffer, capacity, received);
    if (ok && edit) edit(buffer, received);
    return ok;
  }
  int lastError() const override {
    return mute || (muteAfter && muteAfter(lastWritten_)) ? platform::kErrorTimeout
                                                          : SimulatedUsbPlatform::lastError();
  }

 private:
  std::vector<std::uint8_t> lastWritten_;
};

// Hex bytes as the trace writes them: "38 24 01 ...".
inline std::string hex(const std::vector<std::uint8_t>& bytes) {
  std::string text;
  char two[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    if (!text.empty()) text += ' ';
    text += two;
  }
  return text;
}

// A command packet of `length` bytes (default header when 36) with parameters by offset.
inline std::string packet(std::uint8_t code, std::map<int, std::uint8_t> params = {},
                          std::uint8_t length = 36) {
  std::vector<std::uint8_t> bytes(length, 0);
  const std::uint8_t header[] = {
      0x38, length, 0x01, 0x01, 0x0B, static_cast<std::uint8_t>(length == 36 ? 30 : length - 8),
      0x00, code};
  std::copy(header, header + 8, bytes.begin());
  for (const auto& [offset, value] : params) bytes.at(static_cast<std::size_t>(offset)) = value;
  return hex(bytes);
}

class SimulatedGaugeLibrary : public ::testing::Test {
 protected:
  SimulatedGaugeLibrary() {
    setGuardedFileName("no-such-library-" + std::to_string(platform::currentProcessId()));
    api::ResetLibraryState();
    setUsbPlatformFactory([this] {
      auto made = std::make_unique<EditableSimulator>(
          std::make_unique<sim::Environment>(dir_.path(), messages_),
          sim::SimulationOptions{.tracePath = tracePath()});
      simulator = made.get();
      return made;
    });
  }
  ~SimulatedGaugeLibrary() override {
    api::ResetLibraryState();
    setUsbPlatformFactory(nullptr);
    setGuardedFileName("");
    sim::SimulatedUsbPlatform::setTimeoutCeilingMs(0);
  }

  // Plugs in gauge `name` with `key = value` lines, before the library enumerates.
  void plugIn(const std::string& name, const std::string& config = "") {
    std::ofstream(dir_.file(name + ".gauge")) << config;
  }
  // Initialises, enumerates and selects the first gauge (plugging one in if there is none).
  void open(std::size_t gauges = 1) {
    for (std::size_t i = 0; i < gauges; ++i)
      if (!std::ifstream(dir_.file("g" + std::to_string(i) + ".gauge")))
        plugIn("g" + std::to_string(i));
    ASSERT_TRUE(QX5Init());
    ASSERT_EQ(GetDeviceCount(), static_cast<int>(gauges));
    ASSERT_TRUE(UsbPort(0));
    mark();
  }
  sim::Gauge& gauge(const std::string& name = "g0") { return *simulator->gauge(name); }

  // Traffic since the last mark: packets written ("> g0 ...") and read ("< g0 ..."), as trace
  // lines, or as the bytes alone.
  void mark() { seen_ = traceLines().size(); }
  std::vector<std::string> sentLines() const { return since('>'); }
  std::vector<std::string> sent() const { return bytesAlone(since('>')); }
  std::vector<std::string> received() const { return bytesAlone(since('<')); }
  // The bytes of a trace line (after the direction and gauge name).
  static std::vector<std::uint8_t> bytesOf(const std::string& line) {
    std::istringstream in(line);
    std::string direction, name;
    in >> direction >> name;
    std::vector<std::uint8_t> bytes;
    unsigned value;
    while (in >> std::hex >> value) bytes.push_back(static_cast<std::uint8_t>(value));
    return bytes;
  }
  static std::vector<std::string> bytesAlone(const std::vector<std::string>& lines) {
    std::vector<std::string> result;
    for (const auto& line : lines) result.push_back(hex(bytesOf(line)));
    return result;
  }

  EditableSimulator* simulator = nullptr;

 private:
  std::string tracePath() const { return dir_.file("trace.txt"); }
  std::vector<std::string> traceLines() const {
    std::ifstream in(tracePath());
    std::vector<std::string> lines;
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  std::vector<std::string> since(char direction) const {
    std::vector<std::string> lines;
    const auto all = traceLines();
    for (std::size_t i = seen_; i < all.size(); ++i)
      if (!all[i].empty() && all[i][0] == direction) lines.push_back(all[i]);
    return lines;
  }

  TempDir dir_;
  std::ostringstream messages_;
  std::size_t seen_ = 0;
};

}  // namespace qx5::test
