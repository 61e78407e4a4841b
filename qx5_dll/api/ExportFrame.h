// The shape every command export shares: scope, call line, initialisation, buffers, exchange,
// reply decoding, catch-all, failure value.
//
// Adding a command export:
//   QX5_API bool QX5_CALL SetRange(unsigned char range) {
//     QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range);   // own first-call mark
//     scope.Info("SetRange %d", range);                            // the call line, if any
//     return qx5::api::runCommand(scope, {.code = 24}, false,      // command, failure value
//         [&](CommandPacket& p) { p.u8(8, range); },               // parameter bytes
//         [&](const ReplyPacket& r) {                              // success: decode, result line
//           qx5::api::library().maxRange = r.u8(8);
//           return true;
//         });
//   }
// Command fields: .code, .group (Initialising calls QX5Init first; Early counts on an earlier
// call), .length (sets length and paramLength = length - 8; 0 keeps 36/30), .headerless (a
// one-byte packet such as the reset, written as `length` bytes without the header).
// Exports that do more on failure (a placeholder text, a result line also after a failure) call
// exchangeCommand and read replyPacket() themselves. Then flip the export to `yes` in
// export_table.txt. Nothing escapes: exceptions become the failure value with an error line.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <stdexcept>
#include <string>

#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5dll.h"

namespace qx5::api {

enum class Group { Initialising, Early };

struct Command {
  std::uint8_t code = 0;
  Group group = Group::Initialising;
  std::uint8_t length = 0;
  bool headerless = false;
};

// Writes parameters into the command buffer; every write is checked against its 64 bytes.
class CommandPacket {
 public:
  explicit CommandPacket(std::uint8_t* bytes) : bytes_(bytes) {}
  void u8(int offset, std::uint8_t value) { at(offset, 1)[0] = value; }
  void u16le(int offset, std::uint16_t value) { putLittle(offset, value, 2); }
  void i16le(int offset, std::int16_t value) {
    putLittle(offset, static_cast<std::uint16_t>(value), 2);
  }
  void u32le(int offset, std::uint32_t value) { putLittle(offset, value, 4); }
  void i32le(int offset, std::int32_t value) {
    putLittle(offset, static_cast<std::uint32_t>(value), 4);
  }
  // Memory addresses travel most significant byte first.
  void u32be(int offset, std::uint32_t value) {
    std::uint8_t* p = at(offset, 4);
    for (int i = 0; i < 4; ++i) p[i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
  }
  void f32(int offset, float value) { std::memcpy(at(offset, 4), &value, 4); }
  void bytes(int offset, const void* data, std::size_t count) {
    if (count) std::memcpy(at(offset, count), data, count);
  }
  // Sets length and paramLength (length - 8).
  void setLength(std::uint8_t length);

 private:
  std::uint8_t* at(int offset, std::size_t count);
  void putLittle(int offset, std::uint32_t value, int width) {
    std::uint8_t* p = at(offset, static_cast<std::size_t>(width));
    for (int i = 0; i < width; ++i) p[i] = static_cast<std::uint8_t>(value >> (8 * i));
  }
  std::uint8_t* bytes_;
};

// Reads the reply buffer. Reads stay inside its 64 bytes (an offset past them throws, which the
// frame turns into the failure value); bytes past the count received read as zero, since the
// buffer is zeroed before every exchange.
class ReplyPacket {
 public:
  ReplyPacket(const std::uint8_t* bytes, std::uint32_t count) : bytes_(bytes), count_(count) {}
  std::uint32_t count() const { return count_; }
  std::uint8_t u8(int offset) const { return at(offset, 1)[0]; }
  std::uint16_t u16le(int offset) const { return static_cast<std::uint16_t>(little(offset, 2)); }
  std::int16_t i16le(int offset) const { return static_cast<std::int16_t>(little(offset, 2)); }
  std::uint32_t u32le(int offset) const { return little(offset, 4); }
  std::int32_t i32le(int offset) const { return static_cast<std::int32_t>(little(offset, 4)); }
  float f32(int offset) const {
    float value;
    std::memcpy(&value, at(offset, 4), 4);
    return value;
  }
  // Text from `offset`: at most `maxChars`, at most the announced data length (byte 5), never
  // past what was received.
  std::string text(int offset, std::size_t maxChars) const;

 private:
  const std::uint8_t* at(int offset, std::size_t count) const;
  std::uint32_t little(int offset, int width) const {
    const std::uint8_t* p = at(offset, static_cast<std::size_t>(width));
    std::uint32_t value = 0;
    for (int i = width - 1; i >= 0; --i) value = value << 8 | p[i];
    return value;
  }
  const std::uint8_t* bytes_;
  std::uint32_t count_;
};

// Call inside a catch-all: the exception's text as an error line of `scope`.
void reportException(LogFunction& scope);

enum class Outcome { Refused, Failed, Done };  // QX5Init refused, exchange failed, reply in hand

ReplyPacket replyPacket();
// A new BSTR holding `text` (null only when memory runs out).
BSTR makeBstr(const std::string& text);

// Initialisation (for the initialising group), buffers, header, parameters, exchange; under the
// catch-all.
template <class Encode>
Outcome exchangeCommand(LogFunction& scope, const Command& command, Encode encode) {
  if (command.group == Group::Initialising && !QX5Init()) return Outcome::Refused;
  try {
    ResetPacketBuffers();
    CommandPacket packet(library().commandBuffer);
    std::uint32_t length = 0;
    if (command.headerless) {
      length = command.length;
    } else {
      PrepareCommandPacket(command.code);
      if (command.length) packet.setLength(command.length);
    }
    encode(packet);
    return ExchangeCommandPacket(length) ? Outcome::Done : Outcome::Failed;
  } catch (const std::exception& e) {
    scope.Error("exception: %s", e.what());
  } catch (...) {
    scope.Error("exception");
  }
  return Outcome::Failed;
}

inline constexpr auto kNoParameters = [](CommandPacket&) {};

// The common case: `failure` when refused or failed, otherwise what `decode` makes of the reply.
template <class Result, class Encode, class Decode>
Result runCommand(LogFunction& scope, const Command& command, Result failure, Encode encode,
                  Decode decode) {
  if (exchangeCommand(scope, command, encode) != Outcome::Done) return failure;
  try {
    return decode(replyPacket());
  } catch (const std::exception& e) {
    scope.Error("exception: %s", e.what());
  } catch (...) {
    scope.Error("exception");
  }
  return failure;
}

}  // namespace qx5::api
