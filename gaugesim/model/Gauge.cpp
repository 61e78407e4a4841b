#include "gaugesim/model/Gauge.h"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "gaugesim/commands/CommandTable.h"
#include "gaugesim/commands/PacketIo.h"
#include "gaugesim/model/EepromImage.h"
#include "gaugesim/model/Replay.h"

namespace qx5::sim {
namespace {

constexpr char kStateMagic[] = "QX5SIMSTATE1";
constexpr std::size_t kStateMagicSize = sizeof kStateMagic - 1;
constexpr std::size_t kStateSize = kStateMagicSize + 1 + Memory::kFlashSize + Memory::kConfigSize +
                                   Memory::kEepromSize + kImageSize;
constexpr std::uint32_t kFactoryCodeSize = 0x8000;  // bytes of "code" a fresh gauge carries
constexpr float kDriftWithoutAutoZero = 0.05f;
// The state's mode byte: 0 application; older states hold 1 for any bootloader.
constexpr std::uint8_t kBootloaderFlashChanged = 1;
constexpr std::uint8_t kBootloaderFlashIntact = 2;

void writeImage(std::uint8_t* target, const EepromImage& image) {
  std::copy(image.begin(), image.end(), target);
}

}  // namespace

std::optional<std::string> imageVersion(const Memory& memory) {
  std::uint8_t record[Gauge::kVersionRecordSize];
  memory.read(Gauge::kVersionRecordAddress, record, sizeof record);
  if (std::memcmp(record, "VER:", 4) != 0) return std::nullopt;
  std::string text;
  for (std::size_t i = 4; i < sizeof record && text.size() < 40; ++i) {
    if (record[i] == 0 || record[i] == 0xFF) break;
    if (record[i] < 0x20 || record[i] > 0x7E) return std::nullopt;
    text += static_cast<char>(record[i]);
  }
  if (text.empty()) return std::nullopt;
  return text;
}

Gauge::Gauge(GaugeConfig config, ClockSource clock)
    : physics(static_cast<std::uint32_t>(config.serial)),
      config_(std::move(config)),
      clock_(clock ? std::move(clock) : ClockSource([] { return SteadyClock::now(); })) {
  createdAt_ = now();
  settings.serial = config_.serial;
  // A fresh gauge carries some application code; its content only matters to uploads.
  std::uint32_t seed = static_cast<std::uint32_t>(config_.serial) * 2654435761u + 1;
  for (std::uint32_t a = 0; a < kFactoryCodeSize; ++a) {
    seed = seed * 1103515245u + 12345u;
    memory.flash()[a] = static_cast<std::uint8_t>(seed >> 16);
  }
  const EepromImage image = encodeImage(settings, config_.eepromVersion);
  writeImage(memory.eeprom().data(), image);
  if (config_.defaultsValid) writeImage(memory.flash().data() + Memory::kDefaultsAddress, image);
  boot(now());
}

void Gauge::reconfigure(const GaugeConfig& config) {
  const GaugeConfig identity = config_;
  config_ = config;
  // Identity lives in the gauge's memory once it exists.
  config_.serial = identity.serial;
  config_.eepromVersion = identity.eepromVersion;
  config_.defaultsValid = identity.defaultsValid;
  if (!bootloader_) applicationVersion_ = imageVersion(memory).value_or(config_.firmware);
}

void Gauge::boot(TimePoint at) {
  bootedAt_ = at;
  Settings loaded;
  loaded.serial = config_.serial;
  if (!decodeImage(memory.eeprom().data(), loaded))
    decodeImage(memory.flash().data() + Memory::kDefaultsAddress, loaded);
  settings = loaded;
  applicationVersion_ = imageVersion(memory).value_or(config_.firmware);
  physics.reset(0);
  cacheEnabled = false;
  cache = {};
  inSetUp = false;
  poweredOff = false;
  messages = {};
  relativeZero = {};
  busyUntil_ = {};
}

double Gauge::uptimeSeconds() const {
  return std::chrono::duration<double>(now() - bootedAt_).count();
}

void Gauge::advancePhysics() { physics.advanceTo(uptimeSeconds(), settings.pid); }

void Gauge::catchUp(TimePoint now) {
  if (watchdogAt_ && now >= *watchdogAt_) {
    const TimePoint restarted = *watchdogAt_ + std::chrono::milliseconds(kRestartMs);
    watchdogAt_.reset();
    offlineUntil_ = restarted;
    bootloader_ = false;
    boot(restarted);
  }
}

std::size_t Gauge::handle(const std::uint8_t* command, std::size_t length, std::uint8_t* reply,
                          std::size_t capacity) {
  const Response response = respond(command, length);
  if (!response.replies) return 0;
  std::copy_n(response.bytes.begin(), std::min(capacity, response.bytes.size()), reply);
  return response.bytes.size();
}

Response Gauge::respond(const std::uint8_t* packet, std::size_t length) {
  const TimePoint at = now();
  if (replay_ && length) {
    if (auto recorded = replay_->answer(name(), packet, length, at)) return std::move(*recorded);
    if (replay_->strict()) return Response{false, at, {}};
  }
  catchUp(at);
  Response response;
  response.readyAt = at;
  if (length == 0) return response;
  // The USB processor answers these itself, even while the firmware restarts.
  if (length == 1 && packet[0] == packet::kVersionQuery) {
    response.replies = true;
    response.bytes = {0x00, 0x02, config_.usbCpuMinor, config_.usbCpuMajor};
    return response;
  }
  if (length == 1 && packet[0] == packet::kResetMarker) return response;
  if (at < offlineUntil_) return response;
  return commandResponse(packet, length, at);
}

Response Gauge::commandResponse(const std::uint8_t* packet, std::size_t length, TimePoint now) {
  Response response;
  response.readyAt = std::max(now, busyUntil_);
  // A reply due after the watchdog fires is lost with the restart.
  if (watchdogAt_ && response.readyAt >= *watchdogAt_) return response;

  const std::uint8_t command = length > packet::kCommandOffset ? packet[packet::kCommandOffset] : 0;
  Reply reply(command);
  const std::size_t declared = length > 1 ? packet[packet::kLengthOffset] : 0;
  const bool wellFormed = length >= packet::kMinimumReply && packet[0] == packet::kMarker &&
                          declared >= packet::kMinimumReply && declared <= length;
  const CommandEntry* entry = wellFormed ? CommandTable::instance().find(command) : nullptr;
  const RunsIn mode = bootloader_ ? RunsIn::Bootloader : RunsIn::Application;
  if (entry && (static_cast<std::uint8_t>(entry->runsIn) & static_cast<std::uint8_t>(mode)) &&
      declared >= entry->minLength) {
    entry->handler(*this, Request(packet, declared), reply);
    if (entry->changesState && !reply.failed()) dirty_ = true;
  } else {
    reply.fail();
  }
  response.replies = true;
  response.bytes.assign(reply.bytes().begin(), reply.bytes().end());
  return response;
}

void Gauge::enterBootloader() {
  if (bootloader_) return;
  bootloader_ = true;
  physics.stop();
  messages = {};
}

void Gauge::startApplication() {
  bootloader_ = false;
  flashChanged_ = false;
  boot(now());
}

void Gauge::powerUp() {
  if (bootloader_ && !flashChanged_) startApplication();
}

int Gauge::eepromVersion() const {
  const std::uint8_t stored = memory.eeprom()[0];
  return stored == 16 || stored == 17 ? stored : config_.eepromVersion;
}

void Gauge::saveToEeprom() {
  writeImage(memory.eeprom().data(), encodeImage(settings, eepromVersion()));
}

bool Gauge::restoreFactoryDefaults() {
  const std::uint8_t* defaults = memory.flash().data() + Memory::kDefaultsAddress;
  if (!imageLooksValid(defaults)) return false;
  std::copy_n(defaults, kImageSize, memory.eeprom().begin());
  return decodeImage(defaults, settings);
}

void Gauge::busyFor(std::uint32_t ms) {
  const TimePoint at = now();
  busyUntil_ = std::max(busyUntil_, at + std::chrono::milliseconds(ms));
  if (ms >= config_.watchdogMs) watchdogAt_ = at + std::chrono::milliseconds(config_.watchdogMs);
}

void Gauge::pressButton(std::uint8_t button) {
  ++keypadPresses;
  messages = {};
  poweredOff = false;
  const auto& table = devices();
  switch (button) {
    case 0:  // DEVICE: next fan model, its first range
      settings.device = static_cast<std::uint8_t>((settings.device + 1) % table.size());
      settings.range = 0;
      break;
    case 1:  // MODE
      settings.mode = static_cast<std::uint8_t>((settings.mode + 1) % kModes);
      break;
    case 2:  // RANGE: next range of the device
      settings.range =
          static_cast<std::uint8_t>((settings.range + 1) % table[settings.device].ranges.size());
      break;
    case 3:  // TIME AVG
      settings.timeAverage =
          static_cast<std::uint8_t>((settings.timeAverage + 1) % kTimeAverageModes);
      break;
    case 4:  // LIGHT
      settings.backlight = !settings.backlight;
      break;
    case 5:  // SET UP
      inSetUp = !inSetUp;
      break;
    case 6:  // CLEAR: stop the fan
      physics.stop();
      break;
    default:  // digits and ENTER do nothing outside set-up
      break;
  }
}

void Gauge::showMessage(int line, const std::string& text) {
  if (line == 1 || line == 2) messages[static_cast<std::size_t>(line - 1)] = text;
}

float Gauge::present(float value, int port) {
  if (!settings.autoZero) value += kDriftWithoutAutoZero;
  if (settings.reverse) value = -value;
  if (settings.relative) value -= relativeZero[static_cast<std::size_t>(port)];
  return value;
}

float Gauge::portA() {
  advancePhysics();
  return present(static_cast<float>(physics.readRoom()), 0);
}

float Gauge::portB() {
  advancePhysics();
  return present(static_cast<float>(physics.readFan()), 1);
}

float Gauge::flow() {
  advancePhysics();
  const Device& device = devices()[settings.device];
  const double pressure = std::max(0.0, physics.fanPressure());
  return static_cast<float>(device.flowCoefficient * std::sqrt(pressure) /
                            (1.0 + 0.9 * settings.range));
}

BatterySample Gauge::battery() const {
  // Counted from the process start of the model, not the firmware's restart: a watchdog
  // restart does not recharge the cell.
  const double seconds = std::chrono::duration<double>(now() - createdAt_).count();
  const auto units = static_cast<long>(seconds);
  switch (config_.battery) {
    case BatteryState::Charging:
      return {static_cast<std::uint16_t>(std::min(3600L + units, 4100L)), true, true};
    case BatteryState::Discharging:
      return {static_cast<std::uint16_t>(std::max(3900L - units, 3300L)), false, false};
    case BatteryState::Flat:
      return {0, false, false};
    case BatteryState::Full:
      break;
  }
  return {static_cast<std::uint16_t>(4020 + std::lround(8 * std::sin(seconds / 60))), true, false};
}

std::vector<std::uint8_t> Gauge::snapshot() const {
  std::vector<std::uint8_t> bytes;
  bytes.reserve(kStateSize);
  bytes.insert(bytes.end(), kStateMagic, kStateMagic + kStateMagicSize);
  bytes.push_back(bootloader_ ? (flashChanged_ ? kBootloaderFlashChanged : kBootloaderFlashIntact)
                              : 0);
  bytes.insert(bytes.end(), memory.flash().begin(), memory.flash().end());
  bytes.insert(bytes.end(), memory.config().begin(), memory.config().end());
  bytes.insert(bytes.end(), memory.eeprom().begin(), memory.eeprom().end());
  const EepromImage image = encodeImage(settings, eepromVersion());
  bytes.insert(bytes.end(), image.begin(), image.end());
  return bytes;
}

bool Gauge::restore(const std::vector<std::uint8_t>& bytes) {
  if (bytes.size() != kStateSize || std::memcmp(bytes.data(), kStateMagic, kStateMagicSize) != 0)
    return false;
  const std::uint8_t* p = bytes.data() + kStateMagicSize;
  const std::uint8_t mode = *p++;
  Settings loaded = settings;
  if (!decodeImage(p + Memory::kFlashSize + Memory::kConfigSize + Memory::kEepromSize, loaded))
    return false;
  std::copy_n(p, Memory::kFlashSize, memory.flash().begin());
  p += Memory::kFlashSize;
  std::copy_n(p, Memory::kConfigSize, memory.config().begin());
  p += Memory::kConfigSize;
  std::copy_n(p, Memory::kEepromSize, memory.eeprom().begin());
  settings = loaded;
  bootloader_ = mode != 0;
  flashChanged_ = mode == kBootloaderFlashChanged;
  applicationVersion_ = imageVersion(memory).value_or(config_.firmware);
  dirty_ = false;
  return true;
}

}  // namespace qx5::sim
