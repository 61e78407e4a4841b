#include "qx5cmd/exercises/LcdCapture.h"

#include <cstdio>
#include <string>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/exercises/MonochromeBitmap.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

constexpr std::size_t kTimeTextLimit = 100;

std::string hexRow(int row, const std::uint8_t* bytes) {
  std::string line = format("[%02d]", row);
  for (int i = 0; i < kLcdRowBytes; ++i) line += format(" %02x", bytes[i]);
  return line + "\n";
}

}  // namespace

bool aGetLcd::run() {
  LibraryBinding& library = binding();
  if (!library.GetLcdRow) {
    out("%s: the library lacks GetLcdRow\n", name);
    return false;
  }
  LcdImage image{};
  for (int row = 0; row < kLcdHeight; ++row) {
    std::uint8_t* bytes = image.data() + row * kLcdRowBytes;
    if (!library.GetLcdRow->call(static_cast<std::uint8_t>(row), bytes)) return false;
    outText(hexRow(row, bytes).c_str());
  }

  int serial = library.GetSerialNumber ? library.GetSerialNumber->call() : -1;
  std::string time = platform::localTimeText("%b%d_%H%M%S").substr(0, kTimeTextLimit);
  std::string fileName = format("lcd_%d_%s.bmp", serial, time.c_str());
  auto file = lcdBitmap(image);
  // Telling which file is missing costs nothing; the capture itself has been shown.
  if (!writeBinaryFile(fileName, file.data(), file.size()))
    out("couldn't write %s\n", fileName.c_str());
  return true;
}

}  // namespace qx5cmd
