// A diagnostic test that needs shared library members says which are missing when it is bound,
// so it is failed without being run instead of calling a missing export.
#pragma once

#include <initializer_list>
#include <utility>

#include "qx5cmd/core/QX5Function.h"

namespace qx5cmd {

// True when every member is bound; otherwise names each missing one on standard error, in the
// words the getters use for their own export.
bool requireExports(std::initializer_list<std::pair<const char*, const QX5Function*>> members);

}  // namespace qx5cmd
