// The gauge's settings and its fixed tables: what SaveToEEPROM stores and a restart reloads.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace qx5::sim {

struct CalendarDate {
  std::uint8_t day = 15;
  std::uint8_t month = 3;
  std::uint16_t year = 2012;
};

inline constexpr std::size_t kCompanyNameMax = 28;
inline constexpr std::size_t kPidConstants = 8;
inline constexpr std::size_t kAtPressures = 8;
inline constexpr std::size_t kHardwareSlopes = 28;  // parameter bytes 8..35 of command 8
inline constexpr std::size_t kSlopeEntries = 15;    // one per range, both ports
inline constexpr std::uint8_t kTimeAverageModes = 9;
inline constexpr std::uint8_t kModes = 3;

struct Settings {
  std::int32_t serial = 10001;
  std::uint8_t mode = 0;  // 0 pressure, 1 flow, 2 flow at pressure
  std::uint8_t device = 0;
  std::uint8_t range = 0;
  std::uint8_t timeAverage = 1;  // index into the 1s/2s/... list, 0 = off
  std::uint8_t constN = 50;
  std::uint8_t powerDownHour = 2;
  std::uint8_t calibrationRange = 0;
  bool autoZero = true;
  bool reverse = false;
  bool relative = false;
  bool companyEnabled = false;
  bool backlight = true;
  std::string company = "Your Company";
  std::array<float, kPidConstants> pid{0.6f, 0.5f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f, 0.0f};
  std::array<std::int16_t, kAtPressures> atPressure{2500, 5000, 1000, 0, 0, 0, 0, 0};
  std::array<std::uint8_t, kHardwareSlopes> hardwareSlopes{};
  // Wire value of each software slope (slope * 3 / 1023), [range][port].
  std::array<std::array<float, 2>, kSlopeEntries> softwareSlopes{};
  std::int16_t flowTarget = 0;
  CalendarDate calibration;

  Settings();
};

// A measuring device (fan model) and its ranges, as the keypad and commands 19/24 step them.
struct Device {
  std::string_view name;
  std::vector<std::string_view> ranges;
  float flowCoefficient;  // flow per sqrt(kPa) of fan pressure, open range
};

const std::vector<Device>& devices();
// The ranges of a device as one text, comma separated (command 34).
std::string rangeList(const Device& device);
// Names of the time-averaging modes as the LCD shows them.
std::string_view timeAverageName(std::uint8_t mode);

}  // namespace qx5::sim
