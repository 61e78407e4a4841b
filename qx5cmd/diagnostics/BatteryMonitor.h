// monitor_battery: one sample of the gauge's battery per run, appended to a CSV file named after
// the gauge's serial number. Run with -n and -d it logs the battery over hours, with a status
// line on the console that each sample overwrites, and a chart of the whole log beside it.
#pragma once

#include <cstdint>
#include <set>
#include <string>

#include "qx5cmd/core/TestRegistry.h"
#include "qx5cmd/diagnostics/FirmwareTestCall.h"

namespace qx5cmd {

struct BatterySample {
  std::uint16_t reading = 0;  // the firmware's units, logged as they come
  bool mains = false;
  bool charging = false;
};

BatterySample decodeBatterySample(const FirmwareTestOutput& output);
std::string batteryLogFileName(int serial);
std::string batteryCsvLine(const std::string& time, const BatterySample& sample);
// The status line, followed by the backspaces that put the cursor back to its start.
std::string batteryStatusLine(const std::string& time, const BatterySample& sample);
// A sample on a line of its own, for when the file cannot be written.
std::string batteryConsoleLine(const std::string& time, const BatterySample& sample);

class aBatteryMonitor : public ClonableTest<aBatteryMonitor> {
 public:
  aBatteryMonitor(const char* name, const char* description)
      : ClonableTest(name, description, {}) {}
  bool bind() override;
  // A sample the gauge did not give is neither logged nor shown, and the run fails.
  bool run() override;

 private:
  std::set<std::string> unwritableReported_;
};

}  // namespace qx5cmd
