// Result shapes that many command exports share, on top of the export frame: a plain
// acknowledgement, a single parameter byte, a text with its placeholder.
#pragma once

#include <optional>
#include <string>

#include "qx5_dll/api/ExportFrame.h"

namespace qx5::api {

// Runs `body`; an exception becomes `failure` with an error line, as in the frame.
template <class Result, class Body>
Result guarded(LogFunction& scope, Result failure, Body body) {
  try {
    return body();
  } catch (const std::exception& e) {
    scope.Error("exception: %s", e.what());
  } catch (...) {
    scope.Error("exception");
  }
  return failure;
}

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

}  // namespace qx5::api
