// The tester's pauses and tick counts on the library's process clock when that clock is virtual
// (QX5_VIRTUAL_CLOCK): the simulated gauges then see exactly the time the tester waited.
#pragma once

#include "qx5cmd/core/Session.h"

namespace qx5cmd {

// Points the session's sleep and tick count at the virtual clock; leaves a real run's alone.
void followVirtualClock(Session& s);

}  // namespace qx5cmd
