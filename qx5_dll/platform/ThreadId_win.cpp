#include <windows.h>

#include "qx5_dll/platform/ThreadId.h"

namespace qx5::platform {

unsigned currentThreadId() { return static_cast<unsigned>(GetCurrentThreadId()); }

}  // namespace qx5::platform
