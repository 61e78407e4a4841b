#include "qx5_dll/usb/sim/Trace.h"

#include <fstream>

namespace qx5::sim {

std::string traceLine(char direction, const std::string& gauge, const std::uint8_t* bytes,
                      std::size_t count) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  line.reserve(gauge.size() + 3 + 3 * count);
  line += direction;
  line += ' ';
  line += gauge;
  for (std::size_t i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[bytes[i] >> 4];
    line += kHex[bytes[i] & 0x0F];
  }
  return line;
}

void Trace::record(char direction, const std::string& gauge, const std::uint8_t* bytes,
                   std::size_t count) const {
  if (path_.empty()) return;
  const std::string line = traceLine(direction, gauge, bytes, count) + '\n';
  std::lock_guard lock(mutex_);
  std::ofstream out(path_, std::ios::app | std::ios::binary);
  out << line;
}

}  // namespace qx5::sim
