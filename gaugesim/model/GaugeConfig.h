// What a `.gauge` file (or QX5SIM=N) says about one simulated gauge. Identity keys seed a fresh
// gauge's memory; the connection keys (speed, path_case, fault) apply at every enumeration.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <string>

#include "gaugesim/model/Faults.h"
#include "qx5_dll/usb/UsbSpeed.h"

namespace qx5::sim {

// What the battery does while the process runs (the firmware's units: millivolts of the cell).
enum class BatteryState : std::uint8_t {
  Full,         // on mains, topped up: wanders a few units around 4020, not charging
  Charging,     // on mains, charging: rises from 3600 by one unit a second up to 4100
  Discharging,  // on its cell alone: falls from 3900 by one unit a second down to 3300
  Flat,         // no mains and nothing left: reads 0
};

struct GaugeConfig {
  std::string name = "sim0";
  std::string interfacePath;  // a recorded gauge's own; empty: made from the name
  std::int32_t serial = 10001;
  std::string firmware = "3.05";  // used while the flashed image carries no version record
  std::uint32_t chipset = 2;
  std::uint8_t usbCpuMajor = 1;
  std::uint8_t usbCpuMinor = 5;
  UsbSpeed speed = UsbSpeed::Full;
  int eepromVersion = 17;
  bool defaultsValid = true;  // false: the factory-default copy stays erased
  Faults faults;
  bool upperCasePath = false;
  std::uint8_t kind = 1;            // status byte of pressure replies (gauge sorting probe)
  bool mkii = true;                 // answer to the model query 62
  bool modelA = false;              // answer to the model query 63
  std::uint32_t watchdogMs = 1000;  // a RunTest 2 delay of at least this restarts the gauge
  BatteryState battery = BatteryState::Full;
  std::string replay;  // a recording the gauge answers from (its first gauge); empty: none
};

// Reads `key = value` lines ('#' starts a comment). Every problem (malformed line, unknown key,
// unreadable value) is one line "FILE:LINE: message" on `messages`; the key keeps its default.
GaugeConfig parseGaugeConfig(std::istream& in, const std::string& fileLabel, GaugeConfig config,
                             std::ostream& messages);

}  // namespace qx5::sim
