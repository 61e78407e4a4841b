#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "qx5cmd/firmware/HexRange.h"

// Reads Intel HEX files with data, end-of-file and extended linear address records into
// 64-byte-aligned contiguous ranges, ready to be erased and written to flash. Problems are
// reported on standard output (three lines each) and make the load fail, but never stop it:
// whatever was accepted stays in the ranges.
class HexReader {
 public:
  HexReader() = default;
  virtual ~HexReader() = default;

  // Reads the whole file; true only if no error was reported. A file that cannot be opened
  // fails without a message: the callers print their own.
  bool load(const std::string& fileName);
  // As load, on file contents already in memory; the name only labels the error reports.
  bool loadText(std::string_view text, const std::string& fileName);

  // The closed ranges in file order; later ones may cover addresses of earlier ones.
  const std::vector<HexRange>& ranges() const { return ranges_; }
  // Bytes in all closed ranges, fill included; 0 means nothing usable was read.
  uint32_t total() const { return total_; }

 private:
  void reset(const std::string& fileName);
  void parseText(std::string_view text);
  void parseLine(std::string_view line);
  uint8_t readByte();
  void addData(uint32_t address, const uint8_t* data, unsigned count);
  void closeRange();
  void reportError(std::string_view message);

  std::vector<HexRange> ranges_;
  uint32_t total_ = 0;
  HexRange open_;  // open while it holds at least one byte
  uint32_t openCount_ = 0;
  bool closePending_ = false;  // an extended linear address record came after the open range
  uint16_t upperAddress_ = 0;
  uint32_t lineNumber_ = 0;
  uint8_t checksum_ = 0;
  size_t position_ = 0;
  bool endOfFileSeen_ = false;
  bool error_ = false;
  std::string fileName_;
  std::string_view line_;  // valid only while parsing
};
