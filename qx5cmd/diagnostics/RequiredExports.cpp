#include "qx5cmd/diagnostics/RequiredExports.h"

#include <cstdio>

namespace qx5cmd {

bool requireExports(std::initializer_list<std::pair<const char*, const QX5Function*>> members) {
  bool all = true;
  for (const auto& [exportName, member] : members) {
    if (member) continue;
    // The same words as the getters' own bind, naming the export.
    std::fprintf(stderr, " can't find function %s in QX5DLL.DLL", exportName);
    all = false;
  }
  return all;
}

}  // namespace qx5cmd
