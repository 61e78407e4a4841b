// Misbehaviours a simulated gauge can be told to show, so the transport's error paths run
// without broken hardware.
#pragma once

#include <cstdint>
#include <string>

namespace qx5::sim {

struct Faults {
  bool silent = false;                   // never replies: every read times out
  bool shortReplies = false;             // replies cut to 7 bytes
  bool mismatch = false;                 // every reply echoes another command
  bool mismatchOnce = false;             // only the first reply echoes another command
  bool echo6 = false;                    // every reply echoes command 6
  bool refuseWrite = false;              // memory writes answer "not done"
  bool refuseErase = false;              // memory erases answer "not done"
  bool chipsetInBootloaderOnly = false;  // only the bootloader answers GetChipset
  long unplugAfter = -1;                 // the gauge vanishes after this many packets; -1: never

  bool any() const {
    return silent || shortReplies || mismatch || mismatchOnce || echo6 || refuseWrite ||
           refuseErase || chipsetInBootloaderOnly || unplugAfter >= 0;
  }
};

// Adds the faults named in `text` (comma-separated, e.g. "short, unplug-after=3") to `faults`.
// On a name it does not know it sets `error` and returns false; names before it still apply.
bool parseFaults(const std::string& text, Faults& faults, std::string& error);

// The echo a faulty gauge puts at reply byte 7 instead of `command`: never the command itself
// and never 6, which the transport accepts for every command.
std::uint8_t wrongEcho(std::uint8_t command);

}  // namespace qx5::sim
