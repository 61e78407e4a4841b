#include "qx5cmd/firmware/HexWriter.h"

#include "qx5cmd/core/Console.h"
#include "qx5cmd/platform/Platform.h"

namespace {

constexpr size_t kBytesPerRecord = 16;
constexpr size_t kMaxRecordBytes = 255;
constexpr uint8_t kDataRecord = 0x00;
constexpr uint8_t kExtendedLinearAddressRecord = 0x04;

char* putByte(char* out, uint8_t value, uint8_t& checksum) {
  static constexpr char kDigits[] = "0123456789ABCDEF";
  out[0] = kDigits[value >> 4];
  out[1] = kDigits[value & 0x0F];
  checksum = static_cast<uint8_t>(checksum + value);
  return out + 2;
}

}  // namespace

HexWriter::HexWriter(const std::string& fileName, Create mode) {
  // Text mode, so the line end is the platform's.
  file_ = mode == Create::newOnly ? qx5cmd::platform::createNewTextFile(fileName)
                                  : std::fopen(fileName.c_str(), "w");
  if (!file_) qx5cmd::out("unable to create file \"%s\"\n", fileName.c_str());
}

HexWriter::~HexWriter() { close(); }

bool HexWriter::writeRecord(uint16_t address, uint8_t type, const uint8_t* data, size_t count) {
  if (!file_ || count > kMaxRecordBytes) return false;
  // Colon, count, address, type, data and checksum as hex pairs, then the line end.
  char line[1 + 2 * (4 + kMaxRecordBytes + 1) + 1];
  uint8_t checksum = 0;
  char* out = line;
  *out++ = ':';
  out = putByte(out, static_cast<uint8_t>(count), checksum);
  out = putByte(out, static_cast<uint8_t>(address >> 8), checksum);
  out = putByte(out, static_cast<uint8_t>(address), checksum);
  out = putByte(out, type, checksum);
  for (size_t i = 0; i < count; ++i) out = putByte(out, data[i], checksum);
  uint8_t ignored = 0;
  out = putByte(out, static_cast<uint8_t>(-checksum), ignored);
  *out++ = '\n';
  const size_t length = static_cast<size_t>(out - line);
  if (std::fwrite(line, 1, length, file_) != length) writeFailed_ = true;
  return true;
}

void HexWriter::writeBlock(uint32_t address, const uint8_t* data, size_t count) {
  for (size_t offset = 0; offset < count; offset += kBytesPerRecord) {
    const uint32_t recordAddress = address + static_cast<uint32_t>(offset);
    const int32_t upper = static_cast<int32_t>(recordAddress >> 16);
    if (upper != upperAddress_) {
      const uint8_t upperBytes[2] = {static_cast<uint8_t>(upper >> 8), static_cast<uint8_t>(upper)};
      writeRecord(0, kExtendedLinearAddressRecord, upperBytes, 2);
      upperAddress_ = upper;
    }
    const size_t length = count - offset < kBytesPerRecord ? count - offset : kBytesPerRecord;
    writeRecord(static_cast<uint16_t>(recordAddress), kDataRecord, data + offset, length);
  }
}

bool HexWriter::close() {
  if (!file_) return false;
  const bool ok = std::fclose(file_) == 0 && !writeFailed_;
  file_ = nullptr;
  return ok;
}
