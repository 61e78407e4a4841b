#include "qx5_dll/usb/RecordingFormat.h"

namespace qx5::recording {

std::string sessionHeader(const std::string& libraryVersion, const std::string& date) {
  return std::string(kMagic) + " " + std::to_string(kFormatVersion) + "\nlibrary " +
         libraryVersion + "\ndate " + date + "\n";
}

std::string gaugeLine(int gauge, const std::string& key, const std::string& value) {
  return "gauge g" + std::to_string(gauge) + " " + key + " " + value + "\n";
}

std::string packetLine(Direction direction, int gauge, std::uint64_t ms, const std::uint8_t* bytes,
                       std::size_t count) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string line;
  line.reserve(24 + 3 * count);
  line += static_cast<char>(direction);
  line += " g" + std::to_string(gauge) + " " + std::to_string(ms);
  for (std::size_t i = 0; i < count; ++i) {
    line += ' ';
    line += kHex[bytes[i] >> 4];
    line += kHex[bytes[i] & 0x0F];
  }
  line += '\n';
  return line;
}

bool isRecordingStart(const std::string& firstLine) {
  const std::string magic = std::string(kMagic) + " ";
  return firstLine.compare(0, magic.size(), magic) == 0;
}

}  // namespace qx5::recording
