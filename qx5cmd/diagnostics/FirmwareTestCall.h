// One call of a firmware test routine through the library's RunTest, with room for any reply.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

namespace qx5cmd {

enum class FirmwareTest : std::uint32_t {
  SignificantFigures = 1,
  Delay = 2,
  Sizes = 3,
  Counters = 4,
  Battery = 6,
};

// A reply carries at most 56 data bytes and the library clears the first 48 of the buffer, so
// this holds whatever a gauge sends.
inline constexpr std::size_t kFirmwareTestOutputSize = 64;
using FirmwareTestOutput = std::array<std::uint8_t, kFirmwareTestOutputSize>;

// False when the call fails or the library lacks RunTest; `output` then keeps what it held.
bool runFirmwareTest(FirmwareTest test, std::vector<std::uint8_t> input,
                     FirmwareTestOutput& output);

// Little-endian 16-bit value at `offset`; 0 past the buffer.
std::uint16_t u16At(const FirmwareTestOutput& output, std::size_t offset);

}  // namespace qx5cmd
