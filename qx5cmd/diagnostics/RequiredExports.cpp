#include "qx5cmd/diagnostics/RequiredExports.h"

#include <cstdio>

namespace qx5cmd {

bool requireExports(const char* testName,
                    std::initializer_list<std::pair<const char*, const QX5Function*>> members) {
  bool all = true;
  for (const auto& [exportName, member] : members) {
    if (member) continue;
    std::fprintf(stderr, " can't find function %s in QX5DLL.DLL for %s\n", exportName, testName);
    all = false;
  }
  return all;
}

}  // namespace qx5cmd
