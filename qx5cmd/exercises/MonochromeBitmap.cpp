#include "qx5cmd/exercises/MonochromeBitmap.h"

#include <fstream>

namespace qx5cmd {
namespace {

constexpr std::uint32_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;
constexpr std::uint32_t kColourTableBytes = 8;
constexpr std::uint32_t kPixelOffset = kFileHeaderBytes + kInfoHeaderBytes + kColourTableBytes;

// Writes little-endian fields one after another.
class Writer {
 public:
  explicit Writer(std::uint8_t* out) : out_(out) {}
  void u16(std::uint16_t v) { bytes(v, 2); }
  void u32(std::uint32_t v) { bytes(v, 4); }
  void raw(const std::uint8_t* data, std::size_t n) {
    for (std::size_t i = 0; i < n; ++i) *out_++ = data[i];
  }

 private:
  void bytes(std::uint32_t v, int n) {
    for (int i = 0; i < n; ++i) *out_++ = static_cast<std::uint8_t>(v >> (8 * i));
  }
  std::uint8_t* out_;
};

}  // namespace

std::array<std::uint8_t, kLcdBitmapBytes> lcdBitmap(const LcdImage& image) {
  std::array<std::uint8_t, kLcdBitmapBytes> file{};
  Writer w(file.data());
  w.raw(reinterpret_cast<const std::uint8_t*>("BM"), 2);
  w.u32(kLcdBitmapBytes);
  w.u32(0);  // two reserved words
  w.u32(kPixelOffset);
  w.u32(kInfoHeaderBytes);
  w.u32(kLcdWidth);
  w.u32(kLcdHeight);  // positive: bottom row first
  w.u16(1);           // planes
  w.u16(1);           // bits per pixel
  w.u32(0);           // no compression
  w.u32(0);           // image size, implied when uncompressed
  w.u32(0);           // resolutions
  w.u32(0);
  w.u32(2);                                                                  // colours used
  w.u32(2);                                                                  // important colours
  const std::uint8_t colours[kColourTableBytes] = {0xD8, 0xD8, 0xD8, 0x00,   // clear: light grey
                                                   0x00, 0x00, 0x00, 0x00};  // set: black
  w.raw(colours, sizeof colours);
  // 16 bytes a row is already a multiple of four, so rows need no padding.
  for (int row = kLcdHeight - 1; row >= 0; --row)
    w.raw(image.data() + row * kLcdRowBytes, kLcdRowBytes);
  return file;
}

bool writeBinaryFile(const std::string& path, const std::uint8_t* data, std::size_t size) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) return false;
  out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
  out.close();
  return !out.fail();
}

}  // namespace qx5cmd
