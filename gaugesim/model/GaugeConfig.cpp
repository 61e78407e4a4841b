#include "gaugesim/model/GaugeConfig.h"

#include <istream>
#include <ostream>

#include "gaugesim/model/Parsing.h"

namespace qx5::sim {
namespace {

template <typename T>
bool parseInteger(const std::string& text, T& out, long long low, long long high) {
  long long value = 0;
  if (!parseWhole(text, value) || value < low || value > high) return false;
  out = static_cast<T>(value);
  return true;
}

bool parseChoice(const std::string& text, const char* yes, const char* no, bool& out) {
  if (text == yes) return out = true, true;
  if (text == no) return out = false, true;
  return false;
}

// One key: false with `why` set when the value cannot be used.
bool applyKey(const std::string& key, const std::string& value, GaugeConfig& config,
              std::string& why) {
  if (key == "serial") {
    why = "serial must be a number from 1 to 2147483647";
    return parseInteger(value, config.serial, 1, 0x7FFFFFFF);
  }
  if (key == "firmware") {
    why = "firmware must be 1 to 40 characters";
    if (value.empty() || value.size() > 40) return false;
    config.firmware = value;
    return true;
  }
  if (key == "chipset") {
    why = "chipset must be a number";
    return parseInteger(value, config.chipset, 0, 0xFFFFFFFFLL);
  }
  if (key == "usb_cpu") {
    why = "usb_cpu must look like 1.5 (major.minor, each 0 to 255)";
    const auto dot = value.find('.');
    if (dot == std::string::npos) return false;
    std::uint8_t major = 0, minor = 0;
    if (!parseInteger(value.substr(0, dot), major, 0, 255) ||
        !parseInteger(value.substr(dot + 1), minor, 0, 255))
      return false;
    config.usbCpuMajor = major;
    config.usbCpuMinor = minor;
    return true;
  }
  if (key == "speed") {
    why = "speed must be low, full or high";
    if (value == "low") return config.speed = UsbSpeed::Low, true;
    if (value == "full") return config.speed = UsbSpeed::Full, true;
    if (value == "high") return config.speed = UsbSpeed::High, true;
    return false;
  }
  if (key == "eeprom_version") {
    why = "eeprom_version must be 16 or 17";
    return parseInteger(value, config.eepromVersion, 16, 17);
  }
  if (key == "defaults") {
    why = "defaults must be valid or blank";
    return parseChoice(value, "valid", "blank", config.defaultsValid);
  }
  if (key == "fault") {
    Faults faults;
    if (!parseFaults(value, faults, why)) return false;
    config.faults = faults;
    return true;
  }
  if (key == "path_case") {
    why = "path_case must be lower or upper";
    return parseChoice(value, "upper", "lower", config.upperCasePath);
  }
  if (key == "kind") {
    why = "kind must be a number from 0 to 255";
    return parseInteger(value, config.kind, 0, 255);
  }
  if (key == "mkii") {
    why = "mkii must be yes or no";
    return parseChoice(value, "yes", "no", config.mkii);
  }
  if (key == "model_a") {
    why = "model_a must be yes or no";
    return parseChoice(value, "yes", "no", config.modelA);
  }
  if (key == "watchdog_ms") {
    why = "watchdog_ms must be a number from 1 to 60000";
    return parseInteger(value, config.watchdogMs, 1, 60000);
  }
  if (key == "battery") {
    why = "battery must be full, charging, discharging or flat";
    if (value == "full") return config.battery = BatteryState::Full, true;
    if (value == "charging") return config.battery = BatteryState::Charging, true;
    if (value == "discharging") return config.battery = BatteryState::Discharging, true;
    if (value == "flat") return config.battery = BatteryState::Flat, true;
    return false;
  }
  why = "unknown key '" + key + "'";
  return false;
}

}  // namespace

GaugeConfig parseGaugeConfig(std::istream& in, const std::string& fileLabel, GaugeConfig config,
                             std::ostream& messages) {
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    const auto hash = line.find('#');
    if (hash != std::string::npos) line.erase(hash);
    line = trim(line);
    if (line.empty()) continue;
    const auto equals = line.find('=');
    if (equals == std::string::npos) {
      messages << fileLabel << ":" << number << ": expected 'key = value', found '" << line
               << "'\n";
      continue;
    }
    const std::string key = trim(line.substr(0, equals));
    const std::string value = trim(line.substr(equals + 1));
    GaugeConfig candidate = config;
    std::string why;
    if (applyKey(key, value, candidate, why)) {
      config = candidate;
    } else {
      messages << fileLabel << ":" << number << ": " << why;
      if (why.rfind("unknown key", 0) != 0) messages << " (found '" << value << "', default kept)";
      messages << "\n";
    }
  }
  return config;
}

}  // namespace qx5::sim
