// Hex dumps of packets for the log and the error text.
#pragma once

#include <cstddef>
#include <cstdint>

namespace qx5 {

// Size of the dump buffers the transport uses.
inline constexpr std::size_t kHexDumpSize = 1024;

// Writes `count` bytes as "38 24 01 " into `text` (at most `textSize` characters including the
// terminator) and returns `text`. A trailing run of more than seven equal bytes (byte 0 never
// counts) shows two of them and then ".. (N xx's)". When the buffer is too small only the bytes
// that fit are shown; nothing is ever written past `textSize`.
char* FormatHexBytes(char* text, std::size_t textSize, const std::uint8_t* bytes,
                     std::size_t count);

}  // namespace qx5
