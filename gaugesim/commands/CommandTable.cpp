#include "gaugesim/commands/CommandTable.h"

#include <stdexcept>
#include <string>

namespace qx5::sim {

CommandTable::CommandTable() {
  for (auto family :
       {measurementCommands(), settingsCommands(), identityCommands(), memoryCommands()}) {
    for (const auto& entry : family) {
      if (byCode_[entry.code])
        throw std::logic_error("command " + std::to_string(entry.code) + " registered twice");
      byCode_[entry.code] = &entry;
    }
  }
}

const CommandTable& CommandTable::instance() {
  static const CommandTable table;
  return table;
}

}  // namespace qx5::sim
