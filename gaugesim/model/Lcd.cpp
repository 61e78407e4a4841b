#include "gaugesim/model/Lcd.h"

namespace qx5::sim {

void Lcd::setPixel(int x, int y, bool dark) {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return;
  std::uint8_t& byte = pixels_[y * kRowBytes + x / 8];
  const std::uint8_t bit = static_cast<std::uint8_t>(0x80 >> (x % 8));
  byte = dark ? (byte | bit) : (byte & ~bit);
}

bool Lcd::pixel(int x, int y) const {
  if (x < 0 || y < 0 || x >= kWidth || y >= kHeight) return false;
  return pixels_[y * kRowBytes + x / 8] & (0x80 >> (x % 8));
}

void Lcd::text(int column, int line, std::string_view text) { textAt(column * 6, line * 8, text); }

void Lcd::textAt(int x, int y, std::string_view text, int scale) {
  for (char c : text) {
    if (x >= kWidth) break;
    const std::uint8_t* columns = glyph(c);
    for (int cx = 0; cx < 5; ++cx)
      for (int cy = 0; cy < 7; ++cy)
        if (columns[cx] & (1 << cy))
          for (int sx = 0; sx < scale; ++sx)
            for (int sy = 0; sy < scale; ++sy)
              setPixel(x + cx * scale + sx, y + cy * scale + sy, true);
    x += 6 * scale;
  }
}

void Lcd::horizontalLine(int y) {
  for (int x = 0; x < kWidth; ++x) setPixel(x, y, true);
}

}  // namespace qx5::sim
