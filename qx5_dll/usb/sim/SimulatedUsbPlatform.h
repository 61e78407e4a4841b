// The USB platform of the simulated gauges: enumeration (plugging and unplugging), and the glue
// between the platform's calls and the gauge model. Handles, pipes, bus latency, reply faults,
// the trace and state persistence each have a file of their own beside this one.
// Locks: the platform's lock guards the handles and the list of gauges and is held only to look
// things up; each gauge has a lock of its own for its model, pipe and packets, so transfers on
// different gauges run at once. Order: the platform's, then a gauge's.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gaugesim/files/Environment.h"
#include "qx5_dll/platform/Clock.h"
#include "qx5_dll/usb/UsbPlatform.h"
#include "qx5_dll/usb/sim/BusLatency.h"
#include "qx5_dll/usb/sim/Handles.h"
#include "qx5_dll/usb/sim/Pipes.h"
#include "qx5_dll/usb/sim/Trace.h"

namespace qx5::sim {

struct SimulationOptions {
  std::string tracePath;  // QX5SIM_TRACE; empty: no trace
  // QX5SIM_LATENCY_MS: the bus's frame; a transfer ends at the frame boundary after it was
  // asked for, one transfer per frame on each gauge's own bus.
  std::uint32_t latencyMs = 0;
  platform::Clock* clock = nullptr;  // null: the process clock
  // QX5SIM_BUS=shared: all gauges on one full-speed bus, whose frames (latencyMs, or 1 ms)
  // carry at most 19 transfers for all of them together.
  bool sharedBus = false;
};

// The interface path of a gauge, as enumeration reports it.
std::string interfacePathFor(const GaugeConfig& config);

class SimulatedUsbPlatform : public UsbPlatform {
 public:
  SimulatedUsbPlatform(std::unique_ptr<Environment> environment, SimulationOptions options = {});
  ~SimulatedUsbPlatform() override;

  // Tests: no transfer waits longer than this, whatever the pipe's timeout (0: no ceiling).
  static void setTimeoutCeilingMs(std::uint32_t milliseconds) {
    sim::setTimeoutCeilingMs(milliseconds);
  }
  static std::uint32_t timeoutCeilingMs() { return sim::timeoutCeilingMs(); }
  // A gauge seen by the last enumeration, for tests and benchmarks that drive the model
  // directly; null when there is none of that name.
  std::shared_ptr<Gauge> gauge(const std::string& name);

  bool isComplete() const override { return true; }
  const char* name() const override { return "simulator"; }

  bool beginEnumeration() override;
  bool interfacePath(std::uint32_t memberIndex, std::string& path) override;
  void endEnumeration() override;

  DeviceHandle openDevice(const std::string& path) override;
  bool closeDevice(DeviceHandle device) override;
  bool initialize(DeviceHandle device, InterfaceHandle& iface) override;
  bool freeInterface(InterfaceHandle iface) override;

  bool queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) override;
  bool queryInterfaceSettings(InterfaceHandle iface, std::uint8_t alternateSetting,
                              UsbInterfaceDescriptor& descriptor) override;
  bool queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting, std::uint8_t pipeIndex,
                 UsbPipeInformation& pipe) override;
  bool setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                      std::uint32_t milliseconds) override;
  bool flushPipe(InterfaceHandle iface, std::uint8_t pipeId) override;
  bool writePipe(InterfaceHandle iface, std::uint8_t pipeId, const std::uint8_t* data,
                 std::uint32_t length, std::uint32_t& written) override;
  bool readPipe(InterfaceHandle iface, std::uint8_t pipeId, std::uint8_t* buffer,
                std::uint32_t capacity, std::uint32_t& received) override;

  int lastError() const override;
  bool isTimeout(int error) const override;
  bool isEndOfList(int error) const override;

 private:
  // The USB side of one gauge: its bus, what it has queued on its IN pipe, whether it is
  // attached. A link is replaced, never changed, when another gauge takes its name.
  struct Link {
    std::mutex mutex;  // the gauge's model and the fields below, unless marked otherwise
    std::shared_ptr<Gauge> gauge;
    std::shared_ptr<BusLatency> bus;
    // Changed under both locks, so either suffices to read them.
    std::string path;
    unsigned generation = 0;  // changes at every unplug; older handles are dead
    bool attached = false;
    bool unplugged = false;  // was attached once: attaching again powers the gauge up
    // unplug-after fault: gone for the life of this platform. Set under the gauge's lock alone.
    std::atomic<bool> vanished{false};
    long packets = 0;
    bool mismatchSpent = false;
    InPipe inPipe;
    TimePoint lastSave{};

    bool live(unsigned handleGeneration) const {
      return attached && !vanished && generation == handleGeneration;
    }
  };
  // A link found through an interface handle, and the generation its device handle reached.
  struct Reached {
    std::shared_ptr<Link> link;
    unsigned generation = 0;
  };

  void detachUnplugged(const std::vector<std::shared_ptr<Gauge>>& present);
  void attach(const std::shared_ptr<Gauge>& gauge);
  Link* linkOf(const std::string& name, unsigned generation);
  // The link behind an open interface (and its pipe timeouts, when asked), under the platform's
  // lock; no link with the error set.
  Reached reach(InterfaceHandle iface, std::map<std::uint8_t, std::uint32_t>* timeouts = nullptr);
  // Takes the link's lock if the link is still the gauge the handle reached; false with the
  // error set when it was unplugged since.
  bool lockLive(const Reached& reached, std::unique_lock<std::mutex>& hold);
  // One packet to the gauge; its bus, or null with the error set when it was not taken.
  std::shared_ptr<BusLatency> deliver(InterfaceHandle iface, std::uint8_t pipeId,
                                      const std::uint8_t* data, std::uint32_t length);
  bool fail(int error);

  platform::Clock& clock_;
  std::mutex mutex_;  // the gauge list, the enumeration and the handles
  std::unique_ptr<Environment> environment_;
  SimulationOptions options_;
  Trace trace_;
  // The buses' frames start together, as on the ports of one host controller.
  std::shared_ptr<FrameOrigin> frameOrigin_ = std::make_shared<FrameOrigin>();
  std::shared_ptr<BusLatency> sharedBus_;  // QX5SIM_BUS=shared; null: a bus per gauge
  std::map<std::string, std::shared_ptr<Link>> links_;
  std::vector<std::string> enumeration_;
  HandleTable handles_;
};

// QX5SIM's value: a gauge count 1..64, a directory or a recording. Reads QX5SIM_TRACE,
// QX5SIM_LATENCY_MS, QX5SIM_BUS and QX5SIM_REPLAY; `log` hears what a replayed gauge was asked but
// never recorded.
std::unique_ptr<UsbPlatform> createSimulatedPlatform(
    const std::string& qx5simValue, std::function<void(const std::string&)> log = {});

}  // namespace qx5::sim
