#include "qx5cmd/diagnostics/Registration.h"

#include "qx5cmd/diagnostics/BatteryMonitor.h"
#include "qx5cmd/diagnostics/CheckRanges.h"
#include "qx5cmd/diagnostics/DisplayMessage.h"
#include "qx5cmd/diagnostics/FirmwareCounters.h"
#include "qx5cmd/diagnostics/FixDates.h"
#include "qx5cmd/diagnostics/SigFigTest.h"
#include "qx5cmd/diagnostics/WatchdogTest.h"

namespace qx5cmd {
namespace {

struct Row {
  const char* name;
  std::unique_ptr<aTest> (*make)(const char* name, const char* description);
  const char* description;
};

template <class T>
std::unique_ptr<aTest> make(const char* name, const char* description) {
  return std::make_unique<T>(name, description);
}

// Registry order is usage-text order. Every user gets these.
const Row kRows[] = {
    {"get_sig_fig", make<aGetSigFigTest>, "test get_sig_fig"},
    {"watchdog", make<aWatchdogTest>, "check how long a delay is necessary to trip the watchdog"},
    {"check_ranges", make<aCheckRanges>, "check device ranges"},
    {"fix_dates", make<aFixDates>, "fix the calibration date/serial number"},
    {"get_sizes", make<aGetSizes>, "get eeprom sizes"},
    {"get_timing", make<aGetTiming>, "get gauge timers"},
    {"display_message", make<aDisplayMessage>, "display a message on the gauge"},
    {"monitor_battery", make<aBatteryMonitor>,
     "creates battery_test.csv with a log of battery voltage"},
};

}  // namespace

void registerDiagnosticTests(TestRegistry& registry) {
  for (const Row& row : kRows) registry.add(row.make(row.name, row.description));
}

}  // namespace qx5cmd
