#include "gaugesim/model/EepromImage.h"

#include <algorithm>
#include <cmath>
#include <cstring>

namespace qx5::sim {
namespace {

// Leading block, shared by both layout versions.
constexpr std::size_t kVersion = 0;
constexpr std::size_t kHeader = 1;
constexpr std::size_t kCompany = 2;  // 28 bytes, zero padded
constexpr std::size_t kMode = 35;
constexpr std::size_t kConstN = 36;
constexpr std::size_t kPowerDown = 37;
constexpr std::size_t kFlags = 38;
constexpr std::size_t kTimeAverage = 39;
constexpr std::size_t kDevice = 40;
constexpr std::size_t kRange = 41;
constexpr std::size_t kCalibrationRange = 42;
constexpr std::size_t kPid = 44;          // 8 floats
constexpr std::size_t kAtPressure = 76;   // 8 int16
constexpr std::size_t kHardware = 92;     // 28 bytes
constexpr std::size_t kFlowTarget = 120;  // int16
constexpr std::size_t kTable = 512;

enum Flag : std::uint8_t {
  kAutoZero = 1,
  kReverse = 2,
  kRelative = 4,
  kCompanyOn = 8,
  kBacklight = 16,
};

std::size_t entrySize(int version) { return version == 16 ? 14 : 18; }

template <typename T>
void put(EepromImage& image, std::size_t offset, T value) {
  std::memcpy(image.data() + offset, &value, sizeof value);
}

template <typename T>
T get(const std::uint8_t* image, std::size_t offset) {
  T value;
  std::memcpy(&value, image + offset, sizeof value);
  return value;
}

}  // namespace

std::size_t calibrationOffset(int version) { return version == 16 ? 302 : 238; }

bool imageLooksValid(const std::uint8_t* image) {
  return (image[kVersion] == 16 || image[kVersion] == 17) && image[kHeader] <= 17 &&
         get<std::uint16_t>(image, kImageCookieOffset) == kImageCookie;
}

EepromImage encodeImage(const Settings& s, int version) {
  EepromImage image{};
  image[kVersion] = static_cast<std::uint8_t>(version == 16 ? 16 : 17);
  image[kHeader] = 1;
  std::copy_n(s.company.data(), std::min(s.company.size(), kCompanyNameMax),
              image.begin() + kCompany);
  put(image, kImageSerialOffset, s.serial);
  image[kMode] = s.mode;
  image[kConstN] = s.constN;
  image[kPowerDown] = s.powerDownHour;
  image[kFlags] = static_cast<std::uint8_t>(
      (s.autoZero ? kAutoZero : 0) | (s.reverse ? kReverse : 0) | (s.relative ? kRelative : 0) |
      (s.companyEnabled ? kCompanyOn : 0) | (s.backlight ? kBacklight : 0));
  image[kTimeAverage] = s.timeAverage;
  image[kDevice] = s.device;
  image[kRange] = s.range;
  image[kCalibrationRange] = s.calibrationRange;
  for (std::size_t i = 0; i < kPidConstants; ++i) put(image, kPid + 4 * i, s.pid[i]);
  for (std::size_t i = 0; i < kAtPressures; ++i) put(image, kAtPressure + 2 * i, s.atPressure[i]);
  std::copy(s.hardwareSlopes.begin(), s.hardwareSlopes.end(), image.begin() + kHardware);
  put(image, kFlowTarget, s.flowTarget);

  const std::size_t date = calibrationOffset(image[kVersion]);
  image[date] = s.calibration.day;
  image[date + 1] = s.calibration.month;
  put(image, date + 2, s.calibration.year);

  const std::size_t size = entrySize(image[kVersion]);
  for (std::size_t k = 0; k < kSlopeEntries; ++k) {
    const std::size_t entry = kTable + size * k;
    put(image, entry, s.softwareSlopes[k][0]);
    put(image, entry + 4, s.softwareSlopes[k][1]);
    if (size == 18) std::fill_n(image.begin() + entry + 14, 4, 0xFF);
  }
  put(image, kImageCookieOffset, kImageCookie);
  return image;
}

bool decodeImage(const std::uint8_t* image, Settings& s) {
  if (!imageLooksValid(image)) return false;
  const int version = image[kVersion];
  Settings out = s;
  const char* company = reinterpret_cast<const char*>(image + kCompany);
  out.company.assign(company, strnlen(company, kCompanyNameMax));
  out.serial = get<std::int32_t>(image, kImageSerialOffset);
  out.mode = image[kMode] % kModes;
  out.constN = image[kConstN];
  out.powerDownHour = image[kPowerDown];
  const std::uint8_t flags = image[kFlags];
  out.autoZero = flags & kAutoZero;
  out.reverse = flags & kReverse;
  out.relative = flags & kRelative;
  out.companyEnabled = flags & kCompanyOn;
  out.backlight = flags & kBacklight;
  out.timeAverage = image[kTimeAverage] < kTimeAverageModes ? image[kTimeAverage] : 0;
  out.device = image[kDevice] < devices().size() ? image[kDevice] : 0;
  out.range = image[kRange] < devices()[out.device].ranges.size() ? image[kRange] : 0;
  out.calibrationRange = image[kCalibrationRange];
  // A non-finite constant would make every later pressure NaN: keep the one held before.
  for (std::size_t i = 0; i < kPidConstants; ++i) {
    const float constant = get<float>(image, kPid + 4 * i);
    if (std::isfinite(constant)) out.pid[i] = constant;
  }
  for (std::size_t i = 0; i < kAtPressures; ++i)
    out.atPressure[i] = get<std::int16_t>(image, kAtPressure + 2 * i);
  std::copy_n(image + kHardware, kHardwareSlopes, out.hardwareSlopes.begin());
  out.flowTarget = get<std::int16_t>(image, kFlowTarget);
  const std::size_t date = calibrationOffset(version);
  out.calibration = {image[date], image[date + 1], get<std::uint16_t>(image, date + 2)};
  const std::size_t size = entrySize(version);
  for (std::size_t k = 0; k < kSlopeEntries; ++k) {
    out.softwareSlopes[k][0] = get<float>(image, kTable + size * k);
    out.softwareSlopes[k][1] = get<float>(image, kTable + size * k + 4);
  }
  s = out;
  return true;
}

}  // namespace qx5::sim
