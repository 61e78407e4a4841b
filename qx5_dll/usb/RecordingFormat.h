// The text format of a recording (QX5_RECORD): one session per process, each starting with its
// header block, then one line per gauge fact and per packet. Version 1:
//
//   qx5-recording 1
//   library 2.2.0.18
//   date 2026-12-08T02:30:00Z
//   gauge g0 path \\?\usb#vid_04d8&pid_000c#1-4.2#{...}
//   gauge g0 serial 10001                      (firmware TEXT, chipset N: as first seen)
//   > g0 12 38 24 01 01 0b 1e 00 1e ...       (to the gauge: gauge, ms since the session began)
//   < g0 13 38 40 01 01 0b 04 00 1e ...       (from the gauge)
//
// Gauge labels belong to their session; a gauge is the same gauge across sessions when its
// interface path is.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qx5::recording {

inline constexpr const char* kMagic = "qx5-recording";
inline constexpr int kFormatVersion = 1;
// No packet on the gauge's pipes is longer.
inline constexpr std::size_t kMaxPacket = 64;

enum class Direction : char { ToGauge = '>', FromGauge = '<' };

// The session's header block, several lines ending in a newline.
std::string sessionHeader(const std::string& libraryVersion, const std::string& date);
// "gauge g0 KEY VALUE\n".
std::string gaugeLine(int gauge, const std::string& key, const std::string& value);
// "> g0 MS HEX...\n".
std::string packetLine(Direction direction, int gauge, std::uint64_t ms, const std::uint8_t* bytes,
                       std::size_t count);
// Whether a file's first line starts a recording (of any version).
bool isRecordingStart(const std::string& firstLine);

}  // namespace qx5::recording
