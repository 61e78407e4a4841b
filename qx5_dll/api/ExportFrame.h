// The vocabulary every command export's body is written in. A body opens its log scope,
// initialises on demand (the initialising group) or counts on an earlier call (the early group),
// builds its packet in its call's command buffer, exchanges it with its call's gauge (CallFrame.h)
// and decodes the reply; any exception becomes the export's failure value.
//
// Adding a command export (its row in export_table.txt gives it a frame: CallFrame.h):
//   bool qx5::exports::SetRange(unsigned char range) {
//     QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range);   // own first-call mark
//     scope.Info("SetRange %d", range);                            // the call line, if any
//     return qx5::api::runCommand(scope, {.code = command::SetRange}, false,  // failure value
//         [&](CommandPacket& p) { p.u8(8, range); },               // parameter bytes
//         [&](const ReplyPacket& r) {                              // success: decode, result line
//           qx5::api::call().remembered().maxRange = r.u8(8);
//           return true;
//         });
//   }
// Command fields: .code (qx5_dll/usb/CommandCodes.h), .group (Initialising runs the on-demand
// initialisation first; Early counts on an earlier call: the early group, and exports that have
// initialised already), .length (sets length and paramLength = length - 8; 0 keeps 36/30),
// .headerless (a one-byte packet such as the reset, written as `length` bytes without header).
// Exports that fit a row shape (Setter, Getter, Target below) are one line naming their row.
// Exports that do more on failure (a placeholder text, a result line also after a failure) call
// exchangeCommand and read replyPacket() themselves.
#pragma once

#include <cstdint>
#include <cstring>
#include <exception>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>

#include "qx5_dll/api/CallFrame.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5dll.h"

namespace qx5::api {

namespace command = qx5::command;  // so exports that use this namespace name codes as command::X

// ---- Commands and packets ----------------------------------------------------------------

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

// Reads the reply buffer. A field must lie inside its 64 bytes and inside the count received;
// otherwise the read throws, which the frame turns into the failure value, so a short reply
// fails exactly the exports that need bytes it did not carry.
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
  // `count` bytes from `offset`, all of them received, or an exception before any is copied.
  const std::uint8_t* bytes(int offset, std::size_t count) const { return at(offset, count); }
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

ReplyPacket replyPacket();
// A new BSTR holding `text` (null only when memory runs out).
BSTR makeBstr(const std::string& text);

// ---- The exchange ------------------------------------------------------------------------

// Runs `body`; an exception becomes `failure` with an error line of `scope`.
template <class Result, class Body>
Result guarded(LogFunction& scope, Result failure, Body body) {
  try {
    return body();
  } catch (...) {
    reportException(scope);
  }
  return failure;
}

enum class Outcome { Refused, Failed, Done };  // initialisation refused, exchange failed, reply

// Initialisation (for the initialising group), buffers, header, parameters, exchange; under the
// catch-all.
template <class Encode>
Outcome exchangeCommand(LogFunction& scope, const Command& command, Encode encode) {
  if (command.group == Group::Initialising && !initialiseOnDemand()) return Outcome::Refused;
  return guarded(scope, Outcome::Failed, [&] {
    ResetPacketBuffers();
    CommandPacket packet(call().commandBuffer);
    std::uint32_t length = 0;
    if (command.headerless) {
      length = command.length;
    } else {
      PrepareCommandPacket(command.code);
      if (command.length) packet.setLength(command.length);
    }
    encode(packet);
    return ExchangeCommandPacket(length) ? Outcome::Done : Outcome::Failed;
  });
}

inline constexpr auto kNoParameters = [](CommandPacket&) {};

// The common case: `failure` when refused or failed, otherwise what `decode` makes of the reply.
template <class Result, class Encode, class Decode>
Result runCommand(LogFunction& scope, const Command& command, Result failure, Encode encode,
                  Decode decode) {
  if (exchangeCommand(scope, command, encode) != Outcome::Done) return failure;
  return guarded(scope, failure, [&] { return decode(replyPacket()); });
}

// ---- Result shapes that many exports share -------------------------------------------------

// True exactly when the exchange succeeded; the reply carries nothing the caller needs.
template <class Encode = decltype(kNoParameters)>
bool sendCommand(LogFunction& scope, const Command& command, Encode encode = kNoParameters) {
  return runCommand(scope, command, false, encode, [](const ReplyPacket&) { return true; });
}

// The one parameter byte at offset 8 that most setters send.
inline auto byteParameter(std::uint8_t value) {
  return [value](CommandPacket& packet) { packet.u8(packet::kParamsOffset, value); };
}

// A text result: nothing when initialisation refuses, `placeholder` when the exchange fails,
// otherwise what `decode` makes of the reply.
template <class Decode>
std::optional<std::string> textCommand(LogFunction& scope, const Command& command,
                                       const std::string& placeholder, Decode decode) {
  switch (exchangeCommand(scope, command, kNoParameters)) {
    case Outcome::Refused:
      return std::nullopt;
    case Outcome::Failed:
      return placeholder;
    case Outcome::Done:
      break;
  }
  return guarded(scope, placeholder, [&] { return std::string(decode(replyPacket())); });
}

// The caller's BSTR for a text result; null for no text.
inline BSTR textResult(const std::optional<std::string>& text) {
  return text ? makeBstr(*text) : nullptr;
}

// ---- Exports that are one row of a table ---------------------------------------------------
//   Setter  changes the gauge: at most one parameter byte derived from a byte argument, the
//           entry text logged again as the call line, reply not read, true when answered.
//   Getter  sends no parameter and decodes one value from the reply, with a result line.
//   Target  changes the gauge with a float argument sent as a 16-bit integer.
// The template instance for a row carries that export's own first-call mark.

// Byte 8 of a command without parameters (zero, as the cleared buffer holds).
inline std::uint8_t noParameter(std::uint8_t) { return 0; }

struct Setter {
  const char* name;
  const char* entryFormat;  // the argument as "%d", or the bare name
  std::uint8_t code;
  Group group = Group::Initialising;
  std::uint8_t (*parameter)(std::uint8_t argument) = noParameter;  // byte 8
};

template <class Value>
struct Getter {
  const char* name;
  const char* entry;
  std::uint8_t code;
  Group group;
  Value failure;
  Value (*decode)(const ReplyPacket& reply);
  void (*report)(LogFunction& scope, Value value);  // the result line
  bool reportsFailure = false;  // result line also after a failed exchange, with the failure value
};

struct Target {
  const char* name;
  const char* entryFormat;  // the value as "%5.2f"
  std::uint8_t code;
};

inline std::uint8_t asFlag(std::uint8_t argument) { return argument ? 1 : 0; }
inline std::uint8_t asInvertedFlag(std::uint8_t argument) { return argument ? 0 : 1; }
inline const char* trueFalse(bool value) { return value ? "True" : "False"; }

// The low 16 bits of the float truncated toward zero. A value no 32-bit integer holds (or NaN)
// gives 0x80000000, as the processor's own conversion does, so its low bits are 0.
inline std::int16_t truncatedToInt16(float value) {
  const double wide = value;
  const std::int32_t whole = wide > -2147483649.0 && wide < 2147483648.0
                                 ? static_cast<std::int32_t>(wide)
                                 : std::int32_t{INT32_MIN};
  return static_cast<std::int16_t>(static_cast<std::uint16_t>(whole & 0xFFFF));
}

template <const Setter& Row>
bool sendSetter(std::uint8_t argument) {
  static unsigned char firstCall = 1;
  // Texts without the argument ("EnterSetUp", "SetRelPresStatus") are logged as they are.
  constexpr bool showsArgument =
      std::string_view(Row.entryFormat).find('%') != std::string_view::npos;
  std::optional<LogFunction> scope;
  if constexpr (showsArgument) {
    scope.emplace(&firstCall, Row.name, Row.entryFormat, argument);
    scope->Info(Row.entryFormat, argument);
  } else {
    scope.emplace(&firstCall, Row.name, "%s", Row.entryFormat);
    scope->Info("%s", Row.entryFormat);
  }
  return sendCommand(*scope, {.code = Row.code, .group = Row.group},
                     [&](CommandPacket& packet) { packet.u8(8, Row.parameter(argument)); });
}

template <const auto& Row>
auto queryGetter() {
  using Value = decltype(Row.failure);
  static unsigned char firstCall = 1;
  LogFunction scope(&firstCall, Row.name, "%s", Row.entry);
  const Outcome outcome =
      exchangeCommand(scope, {.code = Row.code, .group = Row.group}, kNoParameters);
  if (outcome == Outcome::Refused) return Row.failure;
  Value value = Row.failure;
  if (outcome == Outcome::Done) {
    try {
      value = Row.decode(replyPacket());
    } catch (...) {
      reportException(scope);
      return Row.failure;
    }
  } else if (!Row.reportsFailure) {
    return Row.failure;
  }
  Row.report(scope, value);
  return value;
}

template <const Target& Row>
bool sendTarget(const float* value) {
  static unsigned char firstCall = 1;
  const double shown = value ? *value : 0.0;
  LogFunction scope(&firstCall, Row.name, Row.entryFormat, shown);
  scope.Info(Row.entryFormat, shown);
  if (!value) {
    scope.Error("%s: no value given", Row.name);
    return false;
  }
  return sendCommand(scope, {.code = Row.code},
                     [&](CommandPacket& packet) { packet.i16le(8, truncatedToInt16(*value)); });
}

}  // namespace qx5::api
