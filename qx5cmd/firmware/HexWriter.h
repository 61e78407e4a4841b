#pragma once

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

// Writes Intel HEX files: data records of up to 16 bytes that follow the block's own start
// address (not aligned to 16), with an extended linear address record before the first record
// and at every change of the upper 16 address bits. The user writes the end-of-file record.
class HexWriter {
 public:
  enum class Create {
    truncate,  // create the file or empty an existing one
    newOnly,   // refuse an existing file, so a backup is never overwritten
  };

  // Opens the file; one that cannot be created is reported with its name, and every later
  // write is then refused.
  explicit HexWriter(const std::string& fileName, Create mode = Create::truncate);
  virtual ~HexWriter();
  HexWriter(const HexWriter&) = delete;
  HexWriter& operator=(const HexWriter&) = delete;

  bool isOpen() const { return file_ != nullptr; }

  // One record line; false (nothing written) if the file is not open or count exceeds 255.
  bool writeRecord(uint16_t address, uint8_t type, const uint8_t* data, size_t count);
  // The block as data records, announcing the upper address as needed. A record is never
  // split at a 64 KiB boundary: its upper address is that of its first byte.
  void writeBlock(uint32_t address, const uint8_t* data, size_t count);
  // The end-of-file record, :00000001FF.
  void writeEndOfFileRecord() { writeRecord(0, 1, nullptr, 0); }

  // Closes the file; false if any write to it failed. Later writes are refused.
  bool close();

 private:
  std::FILE* file_ = nullptr;
  bool writeFailed_ = false;
  int32_t upperAddress_ = -1;  // none announced yet, so the first block always announces it
};
