#include "qx5_dll/usb/RecordingReader.h"

#include <charconv>
#include <fstream>
#include <map>
#include <sstream>

#include "qx5_dll/usb/RecordingFormat.h"

namespace qx5::recording {
namespace {

template <typename T>
bool parseNumber(const std::string& text, T& out) {
  const char* end = text.data() + text.size();
  const auto [ptr, ec] = std::from_chars(text.data(), end, out);
  return ec == std::errc() && ptr == end && !text.empty();
}

int hexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

struct Reader {
  Recording recording;
  std::map<std::string, std::size_t> byPath;  // every session's gauges
  std::map<int, std::size_t> session;         // this session's labels
  bool inSession = false;
  std::string error;

  bool fail(const std::string& message) {
    error = message;
    return false;
  }

  bool label(const std::string& text, int& gauge) {
    if (text.size() < 2 || text[0] != 'g' || !parseNumber(text.substr(1), gauge) || gauge < 0)
      return fail("'" + text + "' is not a gauge label (g0, g1, ...)");
    return true;
  }

  RecordedGauge* known(int gauge) {
    const auto found = session.find(gauge);
    if (found == session.end()) {
      fail("gauge g" + std::to_string(gauge) + " has no path line before its packets");
      return nullptr;
    }
    return &recording.gauges[found->second];
  }

  bool header(std::istringstream& words, const std::string& magic) {
    std::string version;
    words >> version;
    int number = 0;
    if (magic != kMagic || !parseNumber(version, number)) return fail("not a recording header");
    if (number != kFormatVersion)
      return fail("recording format " + version + ", this library reads format " +
                  std::to_string(kFormatVersion));
    inSession = true;
    session.clear();
    return true;
  }

  bool gaugeFact(std::istringstream& words) {
    std::string text, key, value;
    int gauge = 0;
    words >> text >> key;
    std::getline(words >> std::ws, value);
    if (!label(text, gauge)) return false;
    if (value.empty()) return fail("gauge line without a value");
    if (key == "path") {
      const auto [it, added] = byPath.emplace(value, recording.gauges.size());
      if (added) recording.gauges.push_back(RecordedGauge{value, {}, {}, {}, {}});
      session[gauge] = it->second;
      return true;
    }
    RecordedGauge* recorded = known(gauge);
    if (!recorded) return false;
    if (key == "serial") {
      std::int32_t serial = 0;
      if (!parseNumber(value, serial)) return fail("serial '" + value + "' is not a number");
      if (!recorded->serial) recorded->serial = serial;
    } else if (key == "chipset") {
      std::uint32_t chipset = 0;
      if (!parseNumber(value, chipset)) return fail("chipset '" + value + "' is not a number");
      if (!recorded->chipset) recorded->chipset = chipset;
    } else if (key == "firmware") {
      if (!recorded->firmware) recorded->firmware = value;
    } else {
      return fail("unknown gauge key '" + key + "'");
    }
    return true;
  }

  bool packetBytes(std::istringstream& words, std::vector<std::uint8_t>& bytes) {
    std::string hex;
    while (words >> hex) {
      const int high = hex.size() == 2 ? hexDigit(hex[0]) : -1;
      const int low = hex.size() == 2 ? hexDigit(hex[1]) : -1;
      if (high < 0 || low < 0) return fail("'" + hex + "' is not a byte in hex");
      if (bytes.size() == kMaxPacket)
        return fail("packet longer than " + std::to_string(kMaxPacket) + " bytes");
      bytes.push_back(static_cast<std::uint8_t>(high << 4 | low));
    }
    if (bytes.empty()) return fail("packet without bytes");
    return true;
  }

  bool packet(std::istringstream& words, char direction) {
    std::string text, msText;
    int gauge = 0;
    RecordedPacket packet;
    words >> text >> msText;
    if (!label(text, gauge)) return false;
    if (!parseNumber(msText, packet.ms)) return fail("'" + msText + "' is not milliseconds");
    if (!packetBytes(words, packet.bytes)) return false;
    RecordedGauge* recorded = known(gauge);
    if (!recorded) return false;
    auto& exchanges = recorded->exchanges;
    if (direction == '>') {
      exchanges.push_back(RecordedExchange{std::move(packet), std::nullopt});
    } else if (!exchanges.empty() && !exchanges.back().reply) {
      exchanges.back().reply = std::move(packet);
    }  // a reply to no request, or a second one, has nothing to answer
    return true;
  }

  bool line(const std::string& text) {
    std::istringstream words(text);
    std::string first;
    words >> first;
    if (first.empty()) return true;
    if (first == kMagic) return header(words, first);
    if (!inSession)
      return fail("not a recording: expected '" + std::string(kMagic) + " " +
                  std::to_string(kFormatVersion) + "'");
    if (first == "library" || first == "date") return true;
    if (first == "gauge") return gaugeFact(words);
    if (first == ">" || first == "<") return packet(words, first[0]);
    return fail("cannot read this line");
  }
};

}  // namespace

std::optional<Recording> readRecording(std::istream& in, const std::string& label,
                                       std::string& error) {
  Reader reader;
  std::string text;
  long number = 0;
  while (std::getline(in, text)) {
    ++number;
    const std::string where = label + ":" + std::to_string(number) + ": ";
    // A last line without its newline was cut off mid-write.
    if (in.eof()) {
      error = where + "truncated (the last line has no end)";
      return std::nullopt;
    }
    if (!text.empty() && text.back() == '\r') text.pop_back();
    if (!reader.line(text)) {
      error = where + reader.error;
      return std::nullopt;
    }
  }
  if (!reader.inSession) {
    error = label + ":" + std::to_string(number + 1) + ": empty, not a recording";
    return std::nullopt;
  }
  return std::move(reader.recording);
}

std::optional<Recording> readRecordingFile(const std::string& path, std::string& error) {
  std::ifstream in(path, std::ios::binary);
  if (!in) {
    error = path + ": cannot be read";
    return std::nullopt;
  }
  return readRecording(in, path, error);
}

bool isRecordingFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::string first;
  return in && std::getline(in, first) && isRecordingStart(first);
}

}  // namespace qx5::recording
