// The 128 x 64 monochrome display: one bit per pixel, rows of 16 bytes, most significant bit
// leftmost, a set bit dark. Text is drawn in a 5 x 7 font on a 6 x 8 grid (21 x 8 cells).
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace qx5::sim {

class Lcd {
 public:
  static constexpr int kWidth = 128;
  static constexpr int kHeight = 64;
  static constexpr int kRowBytes = kWidth / 8;
  static constexpr int kColumns = kWidth / 6;
  static constexpr int kLines = kHeight / 8;

  void clear() { pixels_.fill(0); }
  void setPixel(int x, int y, bool dark);
  bool pixel(int x, int y) const;
  // Text at a character cell; characters past the right edge are dropped.
  void text(int column, int line, std::string_view text);
  // Text at pixel coordinates, each font pixel drawn `scale` times in both directions.
  void textAt(int x, int y, std::string_view text, int scale = 1);
  void horizontalLine(int y);
  const std::uint8_t* row(int y) const { return pixels_.data() + y * kRowBytes; }

 private:
  std::array<std::uint8_t, kRowBytes * kHeight> pixels_{};
};

// Column bitmaps of the font, bit 0 at the top, for characters 0x20..0x7E; others draw '?'.
const std::uint8_t* glyph(char c);

}  // namespace qx5::sim
