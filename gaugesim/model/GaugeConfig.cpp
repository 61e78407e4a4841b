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

bool parseUsbCpu(const std::string& value, GaugeConfig& config) {
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

// One key of a `.gauge` file: its name, what a bad value is told, and how a value is taken
// (false when it cannot be used; the key keeps its default).
struct KeyRule {
  const char* key;
  const char* why;  // null: the value's parser says why
  bool (*apply)(const std::string& value, GaugeConfig& config, std::string& why);
};

const KeyRule kKeyRules[] = {
    {"serial", "serial must be a number from 1 to 2147483647",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseInteger(v, c.serial, 1, 0x7FFFFFFF);
     }},
    {"firmware", "firmware must be 1 to 40 characters",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       if (v.empty() || v.size() > 40) return false;
       c.firmware = v;
       return true;
     }},
    {"chipset", "chipset must be a number",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseInteger(v, c.chipset, 0, 0xFFFFFFFFLL);
     }},
    {"usb_cpu", "usb_cpu must look like 1.5 (major.minor, each 0 to 255)",
     [](const std::string& v, GaugeConfig& c, std::string&) { return parseUsbCpu(v, c); }},
    {"speed", "speed must be low, full or high",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       if (v == "low") return c.speed = UsbSpeed::Low, true;
       if (v == "full") return c.speed = UsbSpeed::Full, true;
       if (v == "high") return c.speed = UsbSpeed::High, true;
       return false;
     }},
    {"eeprom_version", "eeprom_version must be 16 or 17",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseInteger(v, c.eepromVersion, 16, 17);
     }},
    {"defaults", "defaults must be valid or blank",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseChoice(v, "valid", "blank", c.defaultsValid);
     }},
    {"fault", nullptr,
     [](const std::string& v, GaugeConfig& c, std::string& why) {
       Faults faults;
       if (!parseFaults(v, faults, why)) return false;
       c.faults = faults;
       return true;
     }},
    {"path_case", "path_case must be lower or upper",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseChoice(v, "upper", "lower", c.upperCasePath);
     }},
    {"kind", "kind must be a number from 0 to 255",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseInteger(v, c.kind, 0, 255);
     }},
    {"mkii", "mkii must be yes or no",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseChoice(v, "yes", "no", c.mkii);
     }},
    {"model_a", "model_a must be yes or no",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseChoice(v, "yes", "no", c.modelA);
     }},
    {"watchdog_ms", "watchdog_ms must be a number from 1 to 60000",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       return parseInteger(v, c.watchdogMs, 1, 60000);
     }},
    {"battery", "battery must be full, charging, discharging or flat",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       if (v == "full") return c.battery = BatteryState::Full, true;
       if (v == "charging") return c.battery = BatteryState::Charging, true;
       if (v == "discharging") return c.battery = BatteryState::Discharging, true;
       if (v == "flat") return c.battery = BatteryState::Flat, true;
       return false;
     }},
    {"replay", "replay must name a recording",
     [](const std::string& v, GaugeConfig& c, std::string&) {
       if (v.empty()) return false;
       c.replay = v;
       return true;
     }},
};

// One key: false with `why` set when the value cannot be used.
bool applyKey(const std::string& key, const std::string& value, GaugeConfig& config,
              std::string& why) {
  for (const KeyRule& rule : kKeyRules) {
    if (key != rule.key) continue;
    if (rule.why) why = rule.why;
    return rule.apply(value, config, why);
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
