// Numeric identifier of the calling thread, as shown in log lines ("%08x").
#pragma once

namespace qx5::platform {

unsigned currentThreadId();

}  // namespace qx5::platform
