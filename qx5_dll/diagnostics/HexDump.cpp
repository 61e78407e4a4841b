#include "qx5_dll/diagnostics/HexDump.h"

#include <cstdio>

namespace qx5 {

namespace {
constexpr std::size_t kLongestRunShown = 7;  // longer trailing runs are compressed
constexpr std::size_t kRunBytesKept = 2;
constexpr std::size_t kShortestCompressible = 6;
}  // namespace

char* FormatHexBytes(char* text, std::size_t textSize, const std::uint8_t* bytes,
                     std::size_t count) {
  if (!text || textSize == 0) return text;
  text[0] = '\0';
  if (!bytes) return text;

  // Each byte takes three characters; keep room for a terminator (and then some).
  std::size_t shown = count;
  if (count >= textSize / 3) shown = textSize >= 3 ? (textSize - 3) / 3 : 0;

  std::size_t run = 0;
  if (shown >= kShortestCompressible) {
    const std::uint8_t last = bytes[shown - 1];
    for (std::size_t i = shown - 1; i >= 1 && bytes[i] == last; --i) ++run;
  }
  const bool compressed = run > kLongestRunShown;
  const std::size_t written = compressed ? shown + kRunBytesKept - run : shown;

  static constexpr char kDigits[] = "0123456789abcdef";
  std::size_t pos = 0;
  for (std::size_t i = 0; i < written && pos + 3 < textSize; ++i) {
    text[pos++] = kDigits[bytes[i] >> 4];
    text[pos++] = kDigits[bytes[i] & 0x0F];
    text[pos++] = ' ';
  }
  text[pos] = '\0';
  if (compressed) {
    std::snprintf(text + pos, textSize - pos, ".. (%d %02x's)", static_cast<int>(run),
                  bytes[shown - 1]);
  }
  return text;
}

}  // namespace qx5
