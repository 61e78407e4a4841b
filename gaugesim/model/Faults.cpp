#include "gaugesim/model/Faults.h"

#include "gaugesim/model/Parsing.h"

namespace qx5::sim {
namespace {

bool parseOne(const std::string& word, Faults& faults, std::string& error) {
  static constexpr const char kUnplugPrefix[] = "unplug-after=";
  struct Flag {
    const char* name;
    bool Faults::*member;
  };
  static constexpr Flag kFlags[] = {
      {"silent", &Faults::silent},
      {"short", &Faults::shortReplies},
      {"mismatch", &Faults::mismatch},
      {"mismatch-once", &Faults::mismatchOnce},
      {"echo6", &Faults::echo6},
      {"refuse-write", &Faults::refuseWrite},
      {"refuse-erase", &Faults::refuseErase},
      {"chipset-in-bootloader-only", &Faults::chipsetInBootloaderOnly},
  };
  if (word.empty() || word == "none") return true;
  for (const auto& flag : kFlags) {
    if (word == flag.name) {
      faults.*flag.member = true;
      return true;
    }
  }
  if (word.rfind(kUnplugPrefix, 0) == 0) {
    const std::string number = trim(word.substr(sizeof kUnplugPrefix - 1));
    long count = -1;
    if (parseWhole(number, count) && count >= 0) {
      faults.unplugAfter = count;
      return true;
    }
    error = "unplug-after needs a packet count, not '" + number + "'";
    return false;
  }
  error = "unknown fault '" + word + "'";
  return false;
}

}  // namespace

bool parseFaults(const std::string& text, Faults& faults, std::string& error) {
  std::size_t start = 0;
  while (start <= text.size()) {
    const auto comma = text.find(',', start);
    const auto end = comma == std::string::npos ? text.size() : comma;
    if (!parseOne(trim(text.substr(start, end - start)), faults, error)) return false;
    if (comma == std::string::npos) break;
    start = comma + 1;
  }
  return true;
}

std::uint8_t wrongEcho(std::uint8_t command) {
  std::uint8_t echo = static_cast<std::uint8_t>(command + 1);
  if (echo == 6) echo = 7;
  if (echo == command) echo = static_cast<std::uint8_t>(command + 2);
  return echo;
}

}  // namespace qx5::sim
