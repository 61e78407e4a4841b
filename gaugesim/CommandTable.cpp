#include "gaugesim/CommandTable.h"

#include <stdexcept>
#include <string>

namespace qx5::sim {

CommandTable::CommandTable() {
  for (auto family :
       {measurementCommands(), settingsCommands(), identityCommands(), memoryCommands()}) {
    for (const auto& spec : family) {
      if (byCode_[spec.code])
        throw std::logic_error("command " + std::to_string(spec.code) + " registered twice");
      byCode_[spec.code] = &spec;
    }
  }
}

const CommandTable& CommandTable::instance() {
  static const CommandTable table;
  return table;
}

}  // namespace qx5::sim
