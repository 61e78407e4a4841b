// Running the run list against the attached gauges: the gauge loop (every gauge, every loop)
// and the station loop (each gauge once, as it is plugged in).
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// Runs every test on the selected gauge; stops at the first failure. False on a failure or a
// break.
bool runTestsOnGauge(RunList& runList);

// Selects gauge `index` and prints its serial number (and, with -u in the first loop, its USB
// processor version).
bool selectGauge(int index, int loop);

// One loop over `count` gauges; false when a gauge could not be selected or failed a test.
bool gaugePass(RunList& runList, int loop, int count);

void gaugeLoop(RunList& runList);
void stationLoop(RunList& runList);

}  // namespace qx5cmd
