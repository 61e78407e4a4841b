#pragma once

#include <cstdint>
#include <vector>

// One contiguous run of bytes read from an Intel HEX file. The start address is a multiple of
// 64; bytes no record supplied (alignment and small gaps) hold 0xFF, the value of erased flash.
struct HexRange {
  uint32_t startAddress = 0;
  std::vector<uint8_t> bytes;

  // The address just after the last byte; 64-bit because a range may run past 0xFFFFFFFF.
  uint64_t endAddress() const { return uint64_t{startAddress} + bytes.size(); }
};
