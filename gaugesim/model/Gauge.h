// One simulated gauge: its firmware model (settings, memory, physics, display, bootloader)
// and the timing of its replies. Reached through the simulated USB platform, or directly with
// handle() by tests and benchmarks.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "gaugesim/model/GaugeConfig.h"
#include "gaugesim/model/GaugeModel.h"
#include "gaugesim/model/Lcd.h"
#include "gaugesim/model/Memory.h"
#include "gaugesim/model/Physics.h"

namespace qx5::sim {

using SteadyClock = std::chrono::steady_clock;
using TimePoint = SteadyClock::time_point;
using ClockSource = std::function<TimePoint()>;

// What the gauge answers to one packet, and when the answer can be read.
struct Response {
  bool replies = false;  // false: nothing ever arrives (reset packet, gauge restarting)
  TimePoint readyAt{};   // not readable before this moment
  std::vector<std::uint8_t> bytes;
};

// The battery as the firmware reports it: reading, mains power, charging.
class Replay;

struct BatterySample {
  std::uint16_t reading = 0;
  bool mains = false;
  bool charging = false;
};

class Gauge {
 public:
  static constexpr std::int32_t kBootloaderSerial = 5555555;
  static constexpr const char* kBootloaderVersion = "BOOT 1.02";
  // Where an application image carries its version: "VER:" then the text, ended by 0 or 0xFF.
  static constexpr std::uint32_t kVersionRecordAddress = 0x1EFC0;
  static constexpr std::uint32_t kVersionRecordSize = 64;
  static constexpr std::uint32_t kRestartMs = 2500;  // the firmware is silent while it boots

  explicit Gauge(GaugeConfig config, ClockSource clock = {});

  // One packet in, the reply out: returns the reply's length (0 when the gauge gives none),
  // copying at most `capacity` bytes. Ignores reply timing and faults.
  std::size_t handle(const std::uint8_t* command, std::size_t length, std::uint8_t* reply,
                     std::size_t capacity);
  Response respond(const std::uint8_t* packet, std::size_t length);

  // Answers from a recording before the model (Replay.h); null: the model alone.
  void setReplay(std::shared_ptr<Replay> replay) { replay_ = std::move(replay); }
  const Replay* replay() const { return replay_.get(); }

  const GaugeConfig& config() const { return config_; }
  // Takes the keys that apply at every enumeration; identity stays with the gauge's memory.
  void reconfigure(const GaugeConfig& config);
  const std::string& name() const { return config_.name; }

  // Persistent state (memory, settings, bootloader mode) as bytes, and back.
  std::vector<std::uint8_t> snapshot() const;
  bool restore(const std::vector<std::uint8_t>& bytes);
  bool dirty() const { return dirty_; }
  void clearDirty() { dirty_ = false; }

  // --- The model, as the command handlers use it.
  TimePoint now() const { return clock_(); }
  double uptimeSeconds() const;  // since the firmware last started
  void advancePhysics();
  bool inBootloader() const { return bootloader_; }
  Memory::Mode memoryMode() const {
    return bootloader_ ? Memory::Mode::Bootloader : Memory::Mode::Application;
  }
  void enterBootloader();
  void startApplication();
  // Flash was erased or written: the application may be incomplete until it is started again.
  void noteFlashChanged() { flashChanged_ = true; }
  // Plugged in again: a bootloader-based device starts its application unless its flash was
  // changed since it entered the bootloader (a cut-off download keeps it in the bootloader).
  void powerUp();
  const std::string& firmwareVersion() const {
    return bootloader_ ? bootloaderVersion_ : applicationVersion_;
  }
  std::int32_t reportedSerial() const { return bootloader_ ? kBootloaderSerial : settings.serial; }
  void saveToEeprom();
  bool restoreFactoryDefaults();
  int eepromVersion() const;
  // The firmware stays busy for `ms` (later replies wait); a delay of at least the watchdog
  // period restarts it.
  void busyFor(std::uint32_t ms);
  void pressButton(std::uint8_t button);
  void showMessage(int line, const std::string& text);
  void renderScreen();
  // Measurements as the gauge reports them (reverse, relative and zero applied).
  float portA();
  float portB();
  float flow();
  BatterySample battery() const;
  std::uint16_t batteryLevel() const { return battery().reading; }

  Settings settings;
  Memory memory;
  Physics physics;
  Lcd lcd;
  bool cacheEnabled = false;
  std::array<float, 2> cache{};
  bool inSetUp = false;
  bool poweredOff = false;
  std::array<std::string, 2> messages;  // RunTest 5 lines, shown until a key is pressed
  std::array<float, 2> relativeZero{};
  std::uint32_t keypadPresses = 0;
  std::optional<double> screenDrawnAt;  // uptime of the frame in `lcd`

 private:
  void boot(TimePoint at);
  void catchUp(TimePoint now);
  Response commandResponse(const std::uint8_t* packet, std::size_t length, TimePoint now);
  float present(float value, int port);

  GaugeConfig config_;
  ClockSource clock_;
  TimePoint createdAt_{};
  TimePoint bootedAt_{};
  TimePoint busyUntil_{};
  TimePoint offlineUntil_{};
  std::optional<TimePoint> watchdogAt_;
  bool bootloader_ = false;
  bool flashChanged_ = false;  // in the bootloader, since it was entered
  std::string bootloaderVersion_ = kBootloaderVersion;
  std::string applicationVersion_;
  bool dirty_ = false;
  std::shared_ptr<Replay> replay_;
};

// The version text an application image carries, if any.
std::optional<std::string> imageVersion(const Memory& memory);

}  // namespace qx5::sim
