#include "qx5_dll/api/ExportFrame.h"

#include <algorithm>

namespace qx5::api {

std::uint8_t* CommandPacket::at(int offset, std::size_t count) {
  if (offset < 0 || static_cast<std::size_t>(offset) + count > packet::kBufferSize)
    throw std::out_of_range("command parameter beyond the 64-byte packet");
  return bytes_ + offset;
}

void CommandPacket::setLength(std::uint8_t length) {
  if (length < packet::kParamsOffset || length > packet::kBufferSize)
    throw std::out_of_range("command length outside 8..64");
  bytes_[packet::kLengthOffset] = length;
  bytes_[packet::kParamLengthOffset] = static_cast<std::uint8_t>(length - packet::kParamsOffset);
}

const std::uint8_t* ReplyPacket::at(int offset, std::size_t count) const {
  if (offset < 0 || static_cast<std::size_t>(offset) + count > packet::kBufferSize)
    throw std::out_of_range("reply field beyond the 64-byte packet");
  // A short reply must not pass its cleared bytes off as data the gauge sent.
  if (static_cast<std::size_t>(offset) + count > count_)
    throw std::out_of_range("reply of " + std::to_string(count_) + " bytes ends before byte " +
                            std::to_string(static_cast<std::size_t>(offset) + count - 1));
  return bytes_ + offset;
}

std::string ReplyPacket::text(int offset, std::size_t maxChars) const {
  const std::uint32_t received = std::min<std::uint32_t>(count_, packet::kBufferSize);
  if (offset < 0 || static_cast<std::uint32_t>(offset) >= received) return {};
  std::size_t length = std::min<std::size_t>({maxChars, bytes_[packet::kReplyDataLengthOffset],
                                              received - static_cast<std::uint32_t>(offset)});
  const char* start = reinterpret_cast<const char*>(bytes_ + offset);
  return std::string(start, strnlen(start, length));
}

ReplyPacket replyPacket() { return ReplyPacket(call().replyBuffer, call().replyCount); }

// The library's strings are 8-bit text in a BSTR, as its callers read them on every platform.
BSTR makeBstr(const std::string& text) {
  return SysAllocStringByteLen(text.c_str(), static_cast<unsigned int>(text.size()));
}

}  // namespace qx5::api
