// Bounded access to a command packet and the building of a reply in the gauge's layout:
// header, data length at 5, status at 6, echoed command at 7, data from 8.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

#include "qx5_dll/usb/Packet.h"

namespace qx5::sim {

inline constexpr std::size_t kPacketSize = packet::kBufferSize;
inline constexpr std::size_t kReplyDataMax = kPacketSize - packet::kReplyDataOffset;  // 56
inline constexpr std::uint8_t kStatusOk = 0x00;
inline constexpr std::uint8_t kStatusError = 0xFF;

// Reads outside the packet give zero; handlers check lengths through the command table first.
class Request {
 public:
  Request(const std::uint8_t* bytes, std::size_t length) : bytes_(bytes), length_(length) {}

  std::size_t length() const { return length_; }
  std::uint8_t command() const { return u8(packet::kCommandOffset); }
  bool has(std::size_t offset, std::size_t count) const {
    return offset <= length_ && count <= length_ - offset;
  }
  std::uint8_t u8(std::size_t offset) const { return offset < length_ ? bytes_[offset] : 0; }
  std::uint16_t u16(std::size_t offset) const {
    return static_cast<std::uint16_t>(u8(offset) | u8(offset + 1) << 8);
  }
  std::int16_t i16(std::size_t offset) const { return static_cast<std::int16_t>(u16(offset)); }
  std::int32_t i32(std::size_t offset) const {
    return static_cast<std::int32_t>(u16(offset) | std::uint32_t{u16(offset + 2)} << 16);
  }
  std::uint32_t u32be(std::size_t offset) const {
    return std::uint32_t{u8(offset)} << 24 | std::uint32_t{u8(offset + 1)} << 16 |
           std::uint32_t{u8(offset + 2)} << 8 | u8(offset + 3);
  }
  float f32(std::size_t offset) const {
    const std::uint32_t bits = static_cast<std::uint32_t>(i32(offset));
    float value;
    std::memcpy(&value, &bits, sizeof value);
    return value;
  }
  // Null unless all `count` bytes are inside the packet.
  const std::uint8_t* span(std::size_t offset, std::size_t count) const {
    return has(offset, count) ? bytes_ + offset : nullptr;
  }

 private:
  const std::uint8_t* bytes_;
  std::size_t length_;
};

class Reply {
 public:
  explicit Reply(std::uint8_t command) {
    bytes_[0] = packet::kMarker;
    bytes_[1] = static_cast<std::uint8_t>(kPacketSize);
    bytes_[2] = packet::kFixed2;
    bytes_[3] = packet::kFixed3;
    bytes_[4] = packet::kFixed4;
    bytes_[packet::kReplyCommandOffset] = command;
  }

  void u8(std::size_t offset, std::uint8_t value) {
    if (offset < kPacketSize) bytes_[offset] = value;
  }
  void u16(std::size_t offset, std::uint16_t value) {
    u8(offset, static_cast<std::uint8_t>(value));
    u8(offset + 1, static_cast<std::uint8_t>(value >> 8));
  }
  void i16(std::size_t offset, std::int16_t value) {
    u16(offset, static_cast<std::uint16_t>(value));
  }
  void u32(std::size_t offset, std::uint32_t value) {
    u16(offset, static_cast<std::uint16_t>(value));
    u16(offset + 2, static_cast<std::uint16_t>(value >> 16));
  }
  void i32(std::size_t offset, std::int32_t value) {
    u32(offset, static_cast<std::uint32_t>(value));
  }
  void f32(std::size_t offset, float value) {
    std::uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    u32(offset, bits);
  }
  // Data bytes from offset 8, at most what the packet holds; byte 5 says how many.
  void data(const std::uint8_t* bytes, std::size_t count) {
    count = std::min(count, kReplyDataMax);
    std::copy_n(bytes, count, bytes_.begin() + packet::kReplyDataOffset);
    dataLength(static_cast<std::uint8_t>(count));
  }
  void text(std::string_view text, std::size_t max) {
    data(reinterpret_cast<const std::uint8_t*>(text.data()), std::min(text.size(), max));
  }
  void dataLength(std::uint8_t count) { bytes_[packet::kReplyDataLengthOffset] = count; }
  void status(std::uint8_t value) { bytes_[packet::kReplyStatusOffset] = value; }
  // The command was not carried out: error status and "not done" in data byte 8.
  void fail() {
    status(kStatusError);
    dataLength(0);
    std::fill(bytes_.begin() + packet::kReplyDataOffset, bytes_.end(), 0);
  }
  bool failed() const { return bytes_[packet::kReplyStatusOffset] == kStatusError; }
  const std::array<std::uint8_t, kPacketSize>& bytes() const { return bytes_; }

 private:
  std::array<std::uint8_t, kPacketSize> bytes_{};
};

}  // namespace qx5::sim
