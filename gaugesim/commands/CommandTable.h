// Command code -> handler, with the packet length each command needs and where it runs
// (application firmware, bootloader, or both). Families register their rows in their own files.
#pragma once

#include <array>
#include <cstdint>
#include <span>

#include "gaugesim/commands/PacketIo.h"

namespace qx5::sim {

class Gauge;

enum class RunsIn : std::uint8_t { Application = 1, Bootloader = 2, Both = 3 };

struct CommandEntry {
  std::uint8_t code;
  const char* name;
  void (*handler)(Gauge& gauge, const Request& request, Reply& reply);
  std::uint8_t minLength;  // bytes the packet must hold for the handler's fixed fields
  RunsIn runsIn;
  bool changesState;  // the gauge's memory or settings need saving afterwards
};

std::span<const CommandEntry> measurementCommands();
std::span<const CommandEntry> settingsCommands();
std::span<const CommandEntry> identityCommands();
std::span<const CommandEntry> memoryCommands();

class CommandTable {
 public:
  static const CommandTable& instance();
  const CommandEntry* find(std::uint8_t code) const { return byCode_[code]; }

 private:
  CommandTable();
  std::array<const CommandEntry*, 256> byCode_{};
};

}  // namespace qx5::sim
