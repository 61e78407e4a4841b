// The 1010-byte settings image kept in data EEPROM and, as factory defaults, in flash.
// Layout versions 16 and 17 share the leading block; the settings block and the 15-entry
// table sit at different places.
#pragma once

#include <array>
#include <cstdint>

#include "gaugesim/model/GaugeModel.h"

namespace qx5::sim {

inline constexpr std::size_t kImageSize = 1010;
using EepromImage = std::array<std::uint8_t, kImageSize>;

inline constexpr std::size_t kImageSerialOffset = 31;
inline constexpr std::size_t kImageCookieOffset = 1008;
inline constexpr std::uint16_t kImageCookie = 0x4A5B;

// Offset of the calibration day (month, year follow) in a layout version.
std::size_t calibrationOffset(int version);

EepromImage encodeImage(const Settings& settings, int version);
// False (settings untouched) unless the image has version 16 or 17, a second header byte of at
// most 17 and the magic cookie.
bool decodeImage(const std::uint8_t* image, Settings& settings);
bool imageLooksValid(const std::uint8_t* image);

}  // namespace qx5::sim
