// Layout of the command and reply packets exchanged with the gauge.
#pragma once

#include <cstdint>

namespace qx5::packet {

inline constexpr std::uint32_t kBufferSize = 64;  // command and reply buffers alike

// Command header (offsets 0..7), parameters from offset 8.
inline constexpr std::uint8_t kMarker = 0x38;
inline constexpr std::uint8_t kResetMarker = 0xFF;   // one-byte reset packet, no reply read
inline constexpr std::uint8_t kVersionQuery = 0x00;  // one-byte USB processor version query
inline constexpr std::uint8_t kDefaultLength = 36;
inline constexpr std::uint8_t kDefaultParamLength = 30;  // fixed value of the default header
inline constexpr std::uint8_t kFixed2 = 0x01, kFixed3 = 0x01, kFixed4 = 0x0B;

inline constexpr int kMarkerOffset = 0;
inline constexpr int kLengthOffset = 1;
inline constexpr int kParamLengthOffset = 5;
inline constexpr int kCommandOffset = 7;
inline constexpr int kParamsOffset = 8;

// Reply: data length at 5, status at 6, echoed command at 7, data from 8.
inline constexpr int kReplyDataLengthOffset = 5;
inline constexpr int kReplyStatusOffset = 6;
inline constexpr int kReplyCommandOffset = 7;
inline constexpr int kReplyDataOffset = 8;
inline constexpr std::uint32_t kMinimumReply = 8;

// Older firmware answers some commands with this echo; accepted for every command.
inline constexpr std::uint8_t kLegacyEcho = 6;

}  // namespace qx5::packet
