// Commands that fit one row of a table, so each of their exports is one line naming its row:
//   Setter  changes the gauge: at most one parameter byte derived from a byte argument, the
//           entry text logged again as the call line, reply not read, true when answered.
//   Getter  sends no parameter and decodes one value from the reply, with a result line.
//   Target  changes the gauge with a float argument sent as a 16-bit integer.
// The template instance for a row carries that export's own first-call mark.
#pragma once

#include <cmath>
#include <cstdint>
#include <optional>
#include <string_view>

#include "qx5_dll/api/ExportFrame.h"

namespace qx5::api {

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
  return runCommand(
      *scope, {.code = Row.code, .group = Row.group}, false,
      [&](CommandPacket& packet) { packet.u8(8, Row.parameter(argument)); },
      [](const ReplyPacket&) { return true; });
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
    } catch (const std::exception& e) {
      scope.Error("exception: %s", e.what());
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
  return runCommand(
      scope, {.code = Row.code}, false,
      [&](CommandPacket& packet) { packet.i16le(8, truncatedToInt16(*value)); },
      [](const ReplyPacket&) { return true; });
}

}  // namespace qx5::api
