// The LCD image as a two-colour bitmap file: 128 x 64, one bit per pixel, light grey for a
// clear bit and black for a set one, rows stored bottom-up as the format wants.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>

namespace qx5cmd {

inline constexpr int kLcdWidth = 128;
inline constexpr int kLcdHeight = 64;
inline constexpr int kLcdRowBytes = kLcdWidth / 8;
inline constexpr std::size_t kLcdImageBytes = kLcdRowBytes * kLcdHeight;
inline constexpr std::size_t kLcdBitmapBytes = 14 + 40 + 8 + kLcdImageBytes;

// Row 0 is the top of the display; each byte holds 8 pixels, the most significant bit leftmost.
using LcdImage = std::array<std::uint8_t, kLcdImageBytes>;

std::array<std::uint8_t, kLcdBitmapBytes> lcdBitmap(const LcdImage& image);

// Creates or replaces `path`; false when the file could not be created or written in full.
bool writeBinaryFile(const std::string& path, const std::uint8_t* data, std::size_t size);

}  // namespace qx5cmd
