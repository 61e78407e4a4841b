#include "qx5cmd/diagnostics/Registration.h"

#include "qx5cmd/diagnostics/BatteryMonitor.h"
#include "qx5cmd/diagnostics/CheckRanges.h"
#include "qx5cmd/diagnostics/DisplayMessage.h"
#include "qx5cmd/diagnostics/FirmwareCounters.h"
#include "qx5cmd/diagnostics/FixDates.h"
#include "qx5cmd/diagnostics/SigFigCheck.h"
#include "qx5cmd/diagnostics/WatchdogCheck.h"

namespace qx5cmd {
namespace {

// Registry order is usage-text order. Every user gets these.
const TestRow kRows[] = {
    {"get_sig_fig", makeTest<aGetSigFigTest>, "test get_sig_fig"},
    {"watchdog", makeTest<aWatchdogTest>,
     "check how long a delay is necessary to trip the watchdog"},
    {"check_ranges", makeTest<aCheckRanges>, "check device ranges"},
    {"fix_dates", makeTest<aFixDates>, "fix the calibration date/serial number"},
    {"get_sizes", makeTest<aGetSizes>, "get eeprom sizes"},
    {"get_timing", makeTest<aGetTiming>, "get gauge timers"},
    {"display_message", makeTest<aDisplayMessage>, "display a message on the gauge"},
    {"monitor_battery", makeTest<aBatteryMonitor>,
     "creates battery_test.csv with a log of battery voltage"},
};

}  // namespace

void registerDiagnosticTests(TestRegistry& registry) { registerRows(registry, kRows); }

}  // namespace qx5cmd
