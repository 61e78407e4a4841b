#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"

#include <algorithm>
#include <thread>

#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/InterfacePath.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5_dll/usb/sim/Persistence.h"
#include "qx5_dll/usb/sim/ReplyFaults.h"

namespace qx5::sim {
namespace {
thread_local int lastErrorCode = 0;
}  // namespace

std::string interfacePathFor(const GaugeConfig& config) {
  if (!config.interfacePath.empty()) return config.interfacePath;
  const char* ids = config.upperCasePath ? "VID_04D8&PID_000C" : "vid_04d8&pid_000c";
  return gaugeInterfacePath(ids, config.name, "\\\\?\\");
}

SimulatedUsbPlatform::SimulatedUsbPlatform(std::unique_ptr<Environment> environment,
                                           SimulationOptions options)
    : clock_(options.clock ? *options.clock : platform::processClock()),
      environment_(std::move(environment)),
      options_(std::move(options)),
      trace_(options_.tracePath) {
  if (options_.sharedBus)
    sharedBus_ =
        std::make_shared<BusLatency>(options_.latencyMs ? options_.latencyMs : kFullSpeedFrameMs,
                                     kFullSpeedTransfersPerFrame, clock_, frameOrigin_);
}

SimulatedUsbPlatform::~SimulatedUsbPlatform() {
  std::lock_guard lock(mutex_);
  if (environment_) environment_->saveAll();
}

std::shared_ptr<Gauge> SimulatedUsbPlatform::gauge(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto found = links_.find(name);
  return found == links_.end() ? nullptr : found->second->gauge;
}

bool SimulatedUsbPlatform::fail(int error) {
  lastErrorCode = error;
  return false;
}

int SimulatedUsbPlatform::lastError() const { return lastErrorCode; }
bool SimulatedUsbPlatform::isTimeout(int error) const { return error == platform::kErrorTimeout; }
bool SimulatedUsbPlatform::isEndOfList(int error) const {
  return error == platform::kErrorEndOfList;
}

// --- Enumeration: plugging and unplugging

bool SimulatedUsbPlatform::beginEnumeration() {
  std::lock_guard lock(mutex_);
  // A scan may read an edited file into a gauge, and unplugging empties its pipe: every gauge's
  // lock, in the order of their names. The links stay alive while held, even if replaced.
  std::vector<std::shared_ptr<Link>> known;
  std::vector<std::unique_lock<std::mutex>> held;
  for (auto& entry : links_) {
    known.push_back(entry.second);
    held.emplace_back(entry.second->mutex);
  }
  const auto present = environment_->scan();
  detachUnplugged(present);
  enumeration_.clear();
  for (const auto& gauge : present) attach(gauge);
  return true;
}

void SimulatedUsbPlatform::detachUnplugged(const std::vector<std::shared_ptr<Gauge>>& present) {
  for (auto& entry : links_) {
    Link& link = *entry.second;
    const bool stillThere =
        std::any_of(present.begin(), present.end(), [&](const auto& g) { return g == link.gauge; });
    if (link.attached && !stillThere) {  // unplugged: its handles die, its memory is saved
      link.attached = false;
      link.unplugged = true;
      ++link.generation;
      link.inPipe.clear();
      environment_->save(*link.gauge);
    }
  }
}

// Under the platform's lock, with the lock of every link that existed before the scan.
void SimulatedUsbPlatform::attach(const std::shared_ptr<Gauge>& gauge) {
  std::shared_ptr<Link>& slot = links_[gauge->name()];
  if (!slot || slot->gauge != gauge) {
    const unsigned generation = slot ? slot->generation : 0;  // keeps older handles dead
    if (slot) slot->attached = false;  // for transfers that reached it already
    slot = std::make_shared<Link>();
    slot->gauge = gauge;
    slot->generation = generation;
    slot->bus = sharedBus_
                    ? sharedBus_
                    : std::make_shared<BusLatency>(options_.latencyMs, 1, clock_, frameOrigin_);
  }
  Link& link = *slot;
  if (link.vanished) return;
  if (!link.attached) {
    link.attached = true;
    ++link.generation;
    if (link.unplugged) link.gauge->powerUp();
  }
  link.path = interfacePathFor(gauge->config());
  enumeration_.push_back(gauge->name());
}

bool SimulatedUsbPlatform::interfacePath(std::uint32_t memberIndex, std::string& path) {
  std::lock_guard lock(mutex_);
  if (memberIndex >= enumeration_.size()) return fail(platform::kErrorEndOfList);
  path = links_[enumeration_[memberIndex]]->path;
  return true;
}

void SimulatedUsbPlatform::endEnumeration() {}

// --- Handles

SimulatedUsbPlatform::Link* SimulatedUsbPlatform::linkOf(const std::string& name,
                                                         unsigned generation) {
  const auto found = links_.find(name);
  if (found == links_.end()) return nullptr;
  Link& link = *found->second;
  return link.live(generation) ? &link : nullptr;
}

DeviceHandle SimulatedUsbPlatform::openDevice(const std::string& path) {
  std::lock_guard lock(mutex_);
  for (auto& [name, link] : links_) {
    if (link->path == path && link->attached && !link->vanished)
      return handles_.openDevice(name, link->generation);
  }
  fail(platform::kErrorNotFound);
  return kInvalidDeviceHandle;
}

bool SimulatedUsbPlatform::closeDevice(DeviceHandle device) {
  std::lock_guard lock(mutex_);
  const OpenDevice* open = handles_.device(device);
  if (!open) return fail(platform::kErrorInvalidHandle);
  if (const auto link = links_.find(open->name); link != links_.end()) {
    std::lock_guard gaugeLock(link->second->mutex);
    if (link->second->gauge->dirty()) environment_->save(*link->second->gauge);
  }
  handles_.closeDevice(device);
  return true;
}

bool SimulatedUsbPlatform::initialize(DeviceHandle device, InterfaceHandle& iface) {
  std::lock_guard lock(mutex_);
  const OpenDevice* open = handles_.device(device);
  if (!open) return fail(platform::kErrorInvalidHandle);
  if (!linkOf(open->name, open->generation)) return fail(platform::kErrorNoDevice);
  iface = handles_.openInterface(device);
  return true;
}

bool SimulatedUsbPlatform::freeInterface(InterfaceHandle iface) {
  std::lock_guard lock(mutex_);
  if (!handles_.freeInterface(iface)) return fail(platform::kErrorInvalidHandle);
  return true;
}

SimulatedUsbPlatform::Reached SimulatedUsbPlatform::reach(
    InterfaceHandle iface, std::map<std::uint8_t, std::uint32_t>* timeouts) {
  std::lock_guard lock(mutex_);
  OpenInterface* open = handles_.interfaceOf(iface);
  if (!open) {
    fail(platform::kErrorInvalidHandle);
    return {};
  }
  if (timeouts) *timeouts = open->timeouts;
  const OpenDevice* device = handles_.device(open->device);
  const auto found = links_.find(device->name);
  if (found == links_.end()) {
    fail(platform::kErrorNoDevice);
    return {};
  }
  return {found->second, device->generation};
}

bool SimulatedUsbPlatform::lockLive(const Reached& reached, std::unique_lock<std::mutex>& hold) {
  hold = std::unique_lock(reached.link->mutex);
  if (reached.link->live(reached.generation)) return true;
  hold.unlock();
  return fail(platform::kErrorNoDevice);
}

// --- Queries

bool SimulatedUsbPlatform::queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) {
  const Reached reached = reach(iface);
  std::unique_lock<std::mutex> hold;
  if (!reached.link || !lockLive(reached, hold)) return false;
  speed = reached.link->gauge->config().speed;
  return true;
}

bool SimulatedUsbPlatform::queryInterfaceSettings(InterfaceHandle iface,
                                                  std::uint8_t alternateSetting,
                                                  UsbInterfaceDescriptor& descriptor) {
  const Reached reached = reach(iface);
  std::unique_lock<std::mutex> hold;
  if (!reached.link || !lockLive(reached, hold)) return false;
  if (alternateSetting != 0) return fail(platform::kErrorEndOfList);
  descriptor = UsbInterfaceDescriptor{0, 0, 2, 0xFF};
  return true;
}

bool SimulatedUsbPlatform::queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting,
                                     std::uint8_t pipeIndex, UsbPipeInformation& pipe) {
  const Reached reached = reach(iface);
  std::unique_lock<std::mutex> hold;
  if (!reached.link || !lockLive(reached, hold)) return false;
  if (alternateSetting != 0 || pipeIndex > 1) return fail(platform::kErrorEndOfList);
  pipe.pipeType = UsbPipeType::Interrupt;
  pipe.pipeId = pipeIndex == 0 ? kInPipe : kOutPipe;
  pipe.maximumPacketSize = kMaxPacket;
  pipe.interval = 1;
  return true;
}

bool SimulatedUsbPlatform::setPipeTimeout(InterfaceHandle iface, std::uint8_t pipeId,
                                          std::uint32_t milliseconds) {
  std::lock_guard lock(mutex_);
  OpenInterface* open = handles_.interfaceOf(iface);
  if (!open) return fail(platform::kErrorInvalidHandle);
  if (!isPipe(pipeId)) return fail(platform::kErrorIo);
  open->timeouts[pipeId] = milliseconds;
  return true;
}

bool SimulatedUsbPlatform::flushPipe(InterfaceHandle iface, std::uint8_t pipeId) {
  const Reached reached = reach(iface);
  std::unique_lock<std::mutex> hold;
  if (!reached.link || !lockLive(reached, hold)) return false;
  if (!isPipe(pipeId)) return fail(platform::kErrorIo);
  if (pipeId == kInPipe) reached.link->inPipe.clear();
  return true;
}

// --- Transfers

std::shared_ptr<BusLatency> SimulatedUsbPlatform::deliver(InterfaceHandle iface,
                                                          std::uint8_t pipeId,
                                                          const std::uint8_t* data,
                                                          std::uint32_t length) {
  const Reached reached = reach(iface);
  std::unique_lock<std::mutex> hold;
  if (!reached.link || !lockLive(reached, hold)) return nullptr;
  Link& link = *reached.link;
  if (pipeId != kOutPipe || !data || length == 0 || length > kMaxPacket) {
    fail(platform::kErrorIo);
    return nullptr;
  }
  trace_.record('>', link.gauge->name(), data, length);
  const Faults& faults = link.gauge->config().faults;
  if (unplugsNow(faults, link.packets)) {
    link.vanished = true;
    link.inPipe.clear();
    environment_->save(*link.gauge);
    fail(platform::kErrorNoDevice);
    return nullptr;
  }
  ++link.packets;
  Response response = link.gauge->respond(data, length);
  applyReplyFaults(faults, link.gauge->inBootloader(), link.mismatchSpent, response, data, length);
  if (response.replies) link.inPipe.push(std::move(response));
  const std::uint8_t command = length > packet::kCommandOffset ? data[packet::kCommandOffset] : 0;
  saveAfterPacket(*environment_, *link.gauge, command, link.lastSave);
  return link.bus;
}

bool SimulatedUsbPlatform::writePipe(InterfaceHandle iface, std::uint8_t pipeId,
                                     const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t& written) {
  written = 0;
  const std::shared_ptr<BusLatency> bus = deliver(iface, pipeId, data, length);
  if (!bus) return false;
  written = length;
  bus->waitForFrame();
  return true;
}

bool SimulatedUsbPlatform::readPipe(InterfaceHandle iface, std::uint8_t pipeId,
                                    std::uint8_t* buffer, std::uint32_t capacity,
                                    std::uint32_t& received) {
  received = 0;
  std::map<std::uint8_t, std::uint32_t> timeouts;
  const Reached reached = reach(iface, &timeouts);
  if (!reached.link) return false;
  if (pipeId != kInPipe || (!buffer && capacity)) return fail(platform::kErrorIo);
  reached.link->bus->waitForFrame();
  const TimePoint deadline = clock_.now() + std::chrono::milliseconds(readWaitMs(timeouts));

  for (;;) {
    std::unique_lock<std::mutex> hold;
    if (!lockLive(reached, hold)) return false;
    Link& link = *reached.link;
    const TimePoint now = clock_.now();
    if (const auto bytes = link.inPipe.takeDue(now)) {
      received = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, bytes->size()));
      std::copy_n(bytes->begin(), received, buffer);
      trace_.record('<', link.gauge->name(), bytes->data(), received);
      return true;
    }
    if (now >= deadline) return fail(platform::kErrorTimeout);
    const TimePoint wakeUp = std::min(deadline, link.inPipe.nextDue().value_or(deadline));
    hold.unlock();
    clock_.sleepUntil(std::min(wakeUp, now + std::chrono::milliseconds(50)));
  }
}

}  // namespace qx5::sim
