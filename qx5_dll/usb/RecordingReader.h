// Reads a recording (RecordingFormat.h) into the exchanges of each recorded gauge, so a
// simulated gauge can answer from it. A recording is taken whole or not at all.
#pragma once

#include <cstdint>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace qx5::recording {

struct RecordedPacket {
  std::vector<std::uint8_t> bytes;
  std::uint64_t ms = 0;  // since its session began
};

// A request and the first reply read after it, before the gauge's next request.
struct RecordedExchange {
  RecordedPacket request;
  std::optional<RecordedPacket> reply;
};

struct RecordedGauge {
  std::string path;
  std::optional<std::int32_t> serial;
  std::optional<std::string> firmware;
  std::optional<std::uint32_t> chipset;
  std::vector<RecordedExchange> exchanges;  // in recorded order, every session
};

struct Recording {
  std::vector<RecordedGauge> gauges;  // in order of first appearance
};

// The recording, or nothing with `error` set to "LABEL:LINE: what is wrong".
std::optional<Recording> readRecording(std::istream& in, const std::string& label,
                                       std::string& error);
std::optional<Recording> readRecordingFile(const std::string& path, std::string& error);
// Whether the file at `path` starts as a recording.
bool isRecordingFile(const std::string& path);

}  // namespace qx5::recording
