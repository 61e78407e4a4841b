#include "gaugesim/SimulatedUsbPlatform.h"

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <iostream>
#include <thread>

#include "gaugesim/Parsing.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5::sim {
namespace {

using std::chrono::milliseconds;

// A pipe without a timeout would wait for ever on a silent gauge; this stands in.
constexpr std::uint32_t kDefaultPipeTimeoutMs = 2000;
// Settings changes are saved at once; memory bursts (firmware downloads) at most this often.
constexpr auto kMemorySaveInterval = milliseconds(200);
constexpr std::uint8_t kMemoryWrite = 73;
constexpr std::uint8_t kMemoryErase = 74;
constexpr std::size_t kShortReply = 7;

std::atomic<std::uint32_t> timeoutCeiling{0};
thread_local int lastErrorCode = 0;

}  // namespace

std::string interfacePathFor(const GaugeConfig& config) {
  const char* ids = config.upperCasePath ? "VID_04D8&PID_000C" : "vid_04d8&pid_000c";
  return std::string("\\\\?\\usb#") + ids + "#" + config.name + "#" + kInterfaceClassGuid;
}

SimulatedUsbPlatform::SimulatedUsbPlatform(std::unique_ptr<Environment> environment,
                                           SimulationOptions options)
    : environment_(std::move(environment)),
      options_(std::move(options)),
      trace_(options_.tracePath) {}

SimulatedUsbPlatform::~SimulatedUsbPlatform() {
  std::lock_guard lock(mutex_);
  if (environment_) environment_->saveAll();
}

void SimulatedUsbPlatform::setTimeoutCeilingMs(std::uint32_t milliseconds) {
  timeoutCeiling = milliseconds;
}

std::uint32_t SimulatedUsbPlatform::timeoutCeilingMs() { return timeoutCeiling; }

std::shared_ptr<Gauge> SimulatedUsbPlatform::gauge(const std::string& name) {
  std::lock_guard lock(mutex_);
  const auto found = links_.find(name);
  return found == links_.end() ? nullptr : found->second.gauge;
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

// --- Enumeration

bool SimulatedUsbPlatform::beginEnumeration() {
  std::lock_guard lock(mutex_);
  const auto present = environment_->scan();
  for (auto& entry : links_) {
    Link& link = entry.second;  // a named reference, as lambdas cannot capture bindings in clang 14
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
  enumeration_.clear();
  for (const auto& gauge : present) {
    Link& link = links_[gauge->name()];
    if (link.gauge != gauge) {
      const unsigned generation = link.generation;  // keeps older handles dead
      link = Link{};
      link.gauge = gauge;
      link.generation = generation;
    }
    if (link.vanished) continue;
    if (!link.attached) {
      link.attached = true;
      ++link.generation;
      if (link.unplugged) link.gauge->powerUp();
    }
    link.path = interfacePathFor(gauge->config());
    enumeration_.push_back(gauge->name());
  }
  return true;
}

bool SimulatedUsbPlatform::interfacePath(std::uint32_t memberIndex, std::string& path) {
  std::lock_guard lock(mutex_);
  if (memberIndex >= enumeration_.size()) return fail(platform::kErrorEndOfList);
  path = links_[enumeration_[memberIndex]].path;
  return true;
}

void SimulatedUsbPlatform::endEnumeration() {}

// --- Handles

SimulatedUsbPlatform::Link* SimulatedUsbPlatform::linkOf(const std::string& name,
                                                         unsigned generation) {
  const auto found = links_.find(name);
  if (found == links_.end()) return nullptr;
  Link& link = found->second;
  return link.attached && !link.vanished && link.generation == generation ? &link : nullptr;
}

DeviceHandle SimulatedUsbPlatform::openDevice(const std::string& path) {
  std::lock_guard lock(mutex_);
  for (auto& [name, link] : links_) {
    if (link.path == path && link.attached && !link.vanished) {
      const DeviceHandle handle = nextHandle_++;
      devices_[handle] = OpenDevice{name, link.generation};
      return handle;
    }
  }
  fail(platform::kErrorNotFound);
  return kInvalidDeviceHandle;
}

bool SimulatedUsbPlatform::closeDevice(DeviceHandle device) {
  std::lock_guard lock(mutex_);
  const auto found = devices_.find(device);
  if (found == devices_.end()) return fail(platform::kErrorInvalidHandle);
  const auto link = links_.find(found->second.name);
  if (link != links_.end() && link->second.gauge->dirty()) environment_->save(*link->second.gauge);
  devices_.erase(found);
  return true;
}

bool SimulatedUsbPlatform::initialize(DeviceHandle device, InterfaceHandle& iface) {
  std::lock_guard lock(mutex_);
  const auto found = devices_.find(device);
  if (found == devices_.end()) return fail(platform::kErrorInvalidHandle);
  if (!linkOf(found->second.name, found->second.generation)) return fail(platform::kErrorNoDevice);
  iface = nextHandle_++;
  interfaces_[iface] = OpenInterface{device, {}};
  return true;
}

bool SimulatedUsbPlatform::freeInterface(InterfaceHandle iface) {
  std::lock_guard lock(mutex_);
  if (!interfaces_.erase(iface)) return fail(platform::kErrorInvalidHandle);
  return true;
}

SimulatedUsbPlatform::OpenInterface* SimulatedUsbPlatform::interfaceOf(InterfaceHandle iface) {
  const auto found = interfaces_.find(iface);
  if (found == interfaces_.end() || !devices_.count(found->second.device)) {
    fail(platform::kErrorInvalidHandle);
    return nullptr;
  }
  return &found->second;
}

SimulatedUsbPlatform::Link* SimulatedUsbPlatform::liveLink(InterfaceHandle iface) {
  OpenInterface* open = interfaceOf(iface);
  if (!open) return nullptr;
  const OpenDevice& device = devices_.at(open->device);
  Link* link = linkOf(device.name, device.generation);
  if (!link) fail(platform::kErrorNoDevice);
  return link;
}

// --- Queries

bool SimulatedUsbPlatform::queryDeviceSpeed(InterfaceHandle iface, UsbSpeed& speed) {
  std::lock_guard lock(mutex_);
  Link* link = liveLink(iface);
  if (!link) return false;
  speed = link->gauge->config().speed;
  return true;
}

bool SimulatedUsbPlatform::queryInterfaceSettings(InterfaceHandle iface,
                                                  std::uint8_t alternateSetting,
                                                  UsbInterfaceDescriptor& descriptor) {
  std::lock_guard lock(mutex_);
  if (!liveLink(iface)) return false;
  if (alternateSetting != 0) return fail(platform::kErrorEndOfList);
  descriptor = UsbInterfaceDescriptor{0, 0, 2, 0xFF};
  return true;
}

bool SimulatedUsbPlatform::queryPipe(InterfaceHandle iface, std::uint8_t alternateSetting,
                                     std::uint8_t pipeIndex, UsbPipeInformation& pipe) {
  std::lock_guard lock(mutex_);
  if (!liveLink(iface)) return false;
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
  OpenInterface* open = interfaceOf(iface);
  if (!open) return false;
  if (pipeId != kInPipe && pipeId != kOutPipe) return fail(platform::kErrorIo);
  open->timeouts[pipeId] = milliseconds;
  return true;
}

bool SimulatedUsbPlatform::flushPipe(InterfaceHandle iface, std::uint8_t pipeId) {
  std::lock_guard lock(mutex_);
  Link* link = liveLink(iface);
  if (!link) return false;
  if (pipeId != kInPipe && pipeId != kOutPipe) return fail(platform::kErrorIo);
  if (pipeId == kInPipe) link->inPipe.clear();
  return true;
}

// --- Transfers

void SimulatedUsbPlatform::applyFaults(Link& link, Response& response, const std::uint8_t* packet,
                                       std::uint32_t length) {
  const Faults& faults = link.gauge->config().faults;
  if (faults.silent) {
    response.replies = false;
    return;
  }
  const bool hasEcho = length > packet::kCommandOffset && packet[0] == packet::kMarker &&
                       response.bytes.size() > packet::kReplyCommandOffset;
  if (hasEcho) {
    std::uint8_t& echo = response.bytes[packet::kReplyCommandOffset];
    const std::uint8_t command = packet[packet::kCommandOffset];
    if (faults.echo6) echo = packet::kLegacyEcho;
    if (faults.mismatch || (faults.mismatchOnce && !link.mismatchSpent)) echo = wrongEcho(command);
    link.mismatchSpent = true;
  }
  if (faults.shortReplies && response.bytes.size() > kShortReply)
    response.bytes.resize(kShortReply);
}

void SimulatedUsbPlatform::persist(Link& link, std::uint8_t command) {
  if (!link.gauge->dirty() || !environment_->keepsState()) return;
  const TimePoint now = SteadyClock::now();
  const bool burst = command == kMemoryWrite || command == kMemoryErase;
  if (burst && now - link.lastSave < kMemorySaveInterval) return;
  environment_->save(*link.gauge);
  link.lastSave = now;
}

bool SimulatedUsbPlatform::writePipe(InterfaceHandle iface, std::uint8_t pipeId,
                                     const std::uint8_t* data, std::uint32_t length,
                                     std::uint32_t& written) {
  written = 0;
  {
    std::lock_guard lock(mutex_);
    Link* link = liveLink(iface);
    if (!link) return false;
    if (pipeId != kOutPipe || !data || length == 0 || length > kMaxPacket)
      return fail(platform::kErrorIo);
    trace_.record('>', link->gauge->name(), data, length);
    const long unplugAfter = link->gauge->config().faults.unplugAfter;
    if (unplugAfter >= 0 && link->packets >= unplugAfter) {
      link->vanished = true;
      link->inPipe.clear();
      environment_->save(*link->gauge);
      return fail(platform::kErrorNoDevice);
    }
    ++link->packets;
    Response response = link->gauge->respond(data, length);
    applyFaults(*link, response, data, length);
    if (response.replies) link->inPipe.push_back(std::move(response));
    persist(*link, length > packet::kCommandOffset ? data[packet::kCommandOffset] : 0);
    written = length;
  }
  waitForFrame();
  return true;
}

bool SimulatedUsbPlatform::readPipe(InterfaceHandle iface, std::uint8_t pipeId,
                                    std::uint8_t* buffer, std::uint32_t capacity,
                                    std::uint32_t& received) {
  received = 0;
  waitForFrame();
  std::unique_lock lock(mutex_);
  OpenInterface* open = interfaceOf(iface);
  if (!open) return false;
  if (pipeId != kInPipe || (!buffer && capacity)) return fail(platform::kErrorIo);
  const auto timeout = open->timeouts.find(kInPipe);
  std::uint32_t waitMs = timeout == open->timeouts.end() || timeout->second == 0
                             ? kDefaultPipeTimeoutMs
                             : timeout->second;
  if (const std::uint32_t ceiling = timeoutCeiling; ceiling) waitMs = std::min(waitMs, ceiling);
  const TimePoint deadline = SteadyClock::now() + milliseconds(waitMs);

  for (;;) {
    Link* link = liveLink(iface);
    if (!link) return false;
    const TimePoint now = SteadyClock::now();
    if (!link->inPipe.empty() && link->inPipe.front().readyAt <= now) {
      const std::vector<std::uint8_t> bytes = std::move(link->inPipe.front().bytes);
      link->inPipe.pop_front();
      received = static_cast<std::uint32_t>(std::min<std::size_t>(capacity, bytes.size()));
      std::copy_n(bytes.begin(), received, buffer);
      trace_.record('<', link->gauge->name(), bytes.data(), received);
      return true;
    }
    if (now >= deadline) return fail(platform::kErrorTimeout);
    TimePoint wakeUp = deadline;
    if (!link->inPipe.empty()) wakeUp = std::min(wakeUp, link->inPipe.front().readyAt);
    lock.unlock();
    std::this_thread::sleep_until(std::min(wakeUp, now + milliseconds(50)));
    lock.lock();
  }
}

// --- Bus timing

void SimulatedUsbPlatform::waitForFrame() {
  if (options_.latencyMs == 0) return;
  const auto frame = milliseconds(options_.latencyMs);
  TimePoint end;
  {
    std::lock_guard lock(mutex_);
    const TimePoint now = SteadyClock::now();
    if (busStart_ == TimePoint{}) busStart_ = now;
    // The frame boundary after now, and never the frame of the previous transfer: a caller that
    // woke late gets the frame it asked for, so late wake-ups do not add up over a burst.
    end = busStart_ + ((now - busStart_) / frame + 1) * frame;
    if (end <= lastFrameEnd_) end = lastFrameEnd_ + frame;
    lastFrameEnd_ = end;
  }
  // Some thread libraries wake a little before the time asked for (whole-millisecond sleeps).
  while (SteadyClock::now() < end) std::this_thread::sleep_until(end);
}

// --- Factory

std::unique_ptr<UsbPlatform> createSimulatedPlatform(const std::string& qx5simValue) {
  SimulationOptions options;
  if (const char* trace = std::getenv("QX5SIM_TRACE")) options.tracePath = trace;
  if (const char* latency = std::getenv("QX5SIM_LATENCY_MS"); latency && *latency) {
    const std::string text = latency;
    std::uint32_t ms = 0;
    if (parseWhole(text, ms))
      options.latencyMs = ms;
    else
      std::cerr << "QX5SIM_LATENCY_MS=" << text << ": not a number of milliseconds; using 0\n";
  }
  return std::make_unique<SimulatedUsbPlatform>(Environment::fromValue(qx5simValue, std::cerr),
                                                std::move(options));
}

}  // namespace qx5::sim
