// The library in this process against simulated gauges. Every packet on the wire lands in a
// trace the test reads back; a test can silence a gauge (at once or after chosen packets) and
// rewrite the replies the library reads. The gauges are fresh ones, sim0, sim1, ..., unless the
// test plugs in gauges of its own before the library enumerates: then one gauge per `.gauge`
// file (firmware, usb_cpu, mkii, model_a, kind, chipset, fault, ...) as with QX5SIM=DIR.
//
//   SimulatedLibrary sim;              // one fresh gauge, library as at load
//   ASSERT_TRUE(sim.attach());         // GetDeviceCount + UsbPort(0), trace emptied
//   EXPECT_EQ(GetSerialNumber(), 10001);
//   EXPECT_EQ(sim.sent(), (std::vector<Bytes>{command(30)}));
//
//   SimulatedLibrary sim;
//   sim.plugIn("g0", "firmware = 2.05\nmkii = yes");
//   ASSERT_TRUE(sim.attach());
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <set>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "gaugesim/files/Environment.h"
#include "gaugesim/model/Gauge.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#include "qx5dll.h"
#include "support/ForwardingUsbPlatform.h"
#include "support/ManualClock.h"
#include "support/ShownResult.h"
#include "support/TempDir.h"

namespace qx5::test {

using Bytes = std::vector<std::uint8_t>;

struct TracedPacket {
  char direction = 0;  // '>' to the gauge, '<' from it
  std::string gauge;
  Bytes bytes;
};

// Hex bytes as the trace writes them: "38 24 01 ...".
inline std::string hex(const Bytes& bytes) {
  std::string text;
  char two[4];
  for (std::uint8_t b : bytes) {
    std::snprintf(two, sizeof two, "%02x", b);
    if (!text.empty()) text += ' ';
    text += two;
  }
  return text;
}

// A command packet as the library writes it: header, parameters at their offsets, zeros
// elsewhere. The default length of 36 announces 30 bytes, any other its bytes after 8.
inline Bytes command(std::uint8_t code, const std::map<int, std::uint8_t>& params = {},
                     std::uint8_t length = 36) {
  Bytes packet(length, 0);
  const std::uint8_t header[] = {
      0x38, length, 0x01, 0x01, 0x0B, static_cast<std::uint8_t>(length == 36 ? 30 : length - 8),
      0x00, code};
  std::memcpy(packet.data(), header, sizeof header);
  for (const auto& [offset, value] : params) packet.at(static_cast<std::size_t>(offset)) = value;
  return packet;
}

// The library's side of the simulator: a read that succeeded may have its bytes rewritten, and
// the read after a chosen packet times out at once, as if the gauge had not answered it. Calls
// may come from several threads: a thread's read follows its own write.
class ReplyEditingPlatform : public ForwardingUsbPlatform {
 public:
  using Edit = std::function<void(Bytes& reply)>;
  using Choice = std::function<bool(const Bytes& written)>;
  ReplyEditingPlatform(std::unique_ptr<UsbPlatform> inner, const Edit* edit,
                       const Choice* silentAfter)
      : ForwardingUsbPlatform(std::move(inner)), edit_(edit), silentAfter_(silentAfter) {}

  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override {
    LastWritten& last = lastWritten();
    last.platform = this;
    last.bytes.assign(data, data + length);
    return ForwardingUsbPlatform::writePipe(iface, pipeId, data, length, written);
  }
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override {
    const LastWritten& last = lastWritten();
    if (*silentAfter_ && (*silentAfter_)(last.platform == this ? last.bytes : Bytes{})) {
      received = 0;
      return fail(platform::kErrorTimeout);
    }
    if (!ForwardingUsbPlatform::readPipe(iface, pipeId, buffer, capacity, received)) return false;
    if (*edit_) {
      Bytes reply(buffer, buffer + received);
      (*edit_)(reply);
      received = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, reply.size()));
      std::memcpy(buffer, reply.data(), received);
    }
    const std::lock_guard hold(mutex_);
    lastRead_.assign(buffer, buffer + received);
    return true;
  }

  // The last reply as the library received it.
  Bytes lastRead() const {
    const std::lock_guard hold(mutex_);
    return lastRead_;
  }
  void forgetLastRead() {
    const std::lock_guard hold(mutex_);
    lastRead_.clear();
  }

 private:
  // The calling thread's last packet written, and where to.
  struct LastWritten {
    const ReplyEditingPlatform* platform = nullptr;
    Bytes bytes;
  };
  static LastWritten& lastWritten() {
    static thread_local LastWritten last;
    return last;
  }

  const Edit* edit_;
  const Choice* silentAfter_;
  mutable std::mutex mutex_;
  Bytes lastRead_;
};

class SimulatedLibrary {
 public:
  // `gauges` fresh gauges (unless the test plugs in its own); the library is reset to its state
  // at load. Long runs may go without the trace.
  explicit SimulatedLibrary(int gauges = 1, bool traced = true) : gauges_(gauges) {
    setGuardSeesThisProcessOnly(true);
    api::ResetLibraryState();
    setUsbPlatformFactory([this, traced] {
      sim::SimulationOptions options;
      if (traced) options.tracePath = tracePath();
      options.clock = &clock_;
      sim::ClockSource now = [this] { return clock_.now(); };
      auto environment = plugged_.empty()
                             ? std::make_unique<sim::Environment>(gauges_, now)
                             : std::make_unique<sim::Environment>(dir_.path(), messages_, now);
      auto simulated = std::make_unique<sim::SimulatedUsbPlatform>(std::move(environment), options);
      simulator_ = simulated.get();
      auto editing =
          std::make_unique<ReplyEditingPlatform>(std::move(simulated), &editReply, &silentAfter);
      platform_ = editing.get();
      return editing;
    });
  }
  ~SimulatedLibrary() {
    api::ResetLibraryState();
    setUsbPlatformFactory(nullptr);
    setGuardSeesThisProcessOnly(false);
    setGuardedFileName("");
    sim::SimulatedUsbPlatform::setTimeoutCeilingMs(0);
  }
  SimulatedLibrary(const SimulatedLibrary&) = delete;
  SimulatedLibrary& operator=(const SimulatedLibrary&) = delete;

  // Plugs in gauge `name` with `key = value` lines. The first one plugged in before the library
  // enumerates replaces the fresh gauges; gauges are enumerated in name order.
  void plugIn(const std::string& name, const std::string& keys = "") {
    EXPECT_TRUE(!simulator_ || !plugged_.empty()) << "plug gauges in before the library starts";
    plugged_.insert(name);
    std::ofstream(dir_.file(name + ".gauge")) << keys;
  }

  // Takes gauge `name`'s file away: the next enumeration finds it gone.
  void unplug(const std::string& name) { std::filesystem::remove(dir_.file(name + ".gauge")); }

  // Counts the gauges and selects gauge `index`; the trace starts empty afterwards.
  bool attach(unsigned char index = 0) {
    const int expected = plugged_.empty() ? gauges_ : static_cast<int>(plugged_.size());
    const bool ok = GetDeviceCount() == expected && UsbPort(index);
    mark();
    return ok;
  }

  // A gauge of the current device list (null before the library made one); by default the first.
  std::shared_ptr<sim::Gauge> gauge(const std::string& name = "") const {
    if (!simulator_) return nullptr;
    return simulator_->gauge(!name.empty()      ? name
                             : plugged_.empty() ? std::string("sim0")
                                                : *plugged_.begin());
  }

  // The gauge stops answering; its reads time out after `timeoutMs` instead of the pipe's 2 s.
  void silence(const std::string& name = "", std::uint32_t timeoutMs = 20) {
    sim::SimulatedUsbPlatform::setTimeoutCeilingMs(timeoutMs);
    auto silenced = gauge(name);
    ASSERT_TRUE(silenced) << name;
    sim::GaugeConfig config = silenced->config();
    config.faults.silent = true;
    silenced->reconfigure(config);
  }
  // The read after a packet this says yes to times out at once; empty: none does.
  ReplyEditingPlatform::Choice silentAfter;

  // Applied to every reply the library reads (after the trace recorded it); empty: none.
  ReplyEditingPlatform::Edit editReply;
  // An edit that sees the reply padded with zeros to a full packet of 64 bytes.
  static ReplyEditingPlatform::Edit onFullPacket(ReplyEditingPlatform::Edit edit) {
    return [edit = std::move(edit)](Bytes& reply) {
      reply.resize(64, 0);
      edit(reply);
    };
  }

  // Traffic on the wire. Each view returns what is new to it: takeTrace() every packet since
  // the last take or mark, sent() the packets written and received() the replies read since
  // their own last call (or the last take or mark).
  void mark() {
    takeTrace();
    if (platform_) platform_->forgetLastRead();
  }
  std::vector<TracedPacket> takeTrace() {
    readTrace();
    std::vector<TracedPacket> packets(log_.begin() + static_cast<long>(taken_), log_.end());
    taken_ = sentFrom_ = receivedFrom_ = log_.size();
    return packets;
  }
  std::vector<Bytes> sent() { return direction('>', sentFrom_); }
  std::vector<Bytes> received() { return direction('<', receivedFrom_); }
  // The last reply the library read, after editReply; empty when none since the last mark.
  Bytes lastReply() const { return platform_ ? platform_->lastRead() : Bytes{}; }

  ReplyEditingPlatform* platform() const { return platform_; }
  sim::SimulatedUsbPlatform* simulator() const { return simulator_; }
  std::string tracePath() const { return dir_.file("trace.txt"); }

 private:
  void readTrace() {
    std::ifstream in(tracePath());
    std::string line;
    for (std::size_t n = 0; std::getline(in, line); ++n) {
      if (n < traceLinesRead_) continue;
      ++traceLinesRead_;
      std::istringstream fields(line);
      TracedPacket packet;
      fields >> packet.direction >> packet.gauge;
      unsigned byte = 0;
      while (fields >> std::hex >> byte) packet.bytes.push_back(static_cast<std::uint8_t>(byte));
      log_.push_back(std::move(packet));
    }
  }
  std::vector<Bytes> direction(char wanted, std::size_t& from) {
    readTrace();
    std::vector<Bytes> packets;
    for (std::size_t i = from; i < log_.size(); ++i)
      if (log_[i].direction == wanted) packets.push_back(log_[i].bytes);
    from = log_.size();
    return packets;
  }

  int gauges_;
  // The gauges' time: it moves only while the library waits for them, so a silent gauge times
  // out at once and no test depends on the machine's speed.
  ManualClock clock_;
  TempDir dir_;  // the gauge files, their state and the trace
  std::ostringstream messages_;
  std::set<std::string> plugged_;
  std::vector<TracedPacket> log_;
  std::size_t traceLinesRead_ = 0;
  std::size_t taken_ = 0, sentFrom_ = 0, receivedFrom_ = 0;
  sim::SimulatedUsbPlatform* simulator_ = nullptr;
  ReplyEditingPlatform* platform_ = nullptr;
};

}  // namespace qx5::test
