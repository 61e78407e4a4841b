// The battery log as a picture: battery_test_<serial>.svg beside the CSV file, the reading over
// clock time with the periods on mains power and charging shaded. It is drawn from the whole
// file, so the samples of earlier runs come out as one curve with the new ones.
#pragma once

#include <string>
#include <vector>

#include "qx5cmd/diagnostics/BatteryMonitor.h"

namespace qx5cmd {

struct BatteryLogEntry {
  double seconds = 0;  // since midnight of the log's first day
  BatterySample sample;
};

struct BatteryLog {
  std::vector<BatteryLogEntry> entries;
  int unreadable = 0;  // lines skipped because they are not a sample
};

// Every line the monitor writes; a time earlier than the one before is taken to be on the next
// day, so a log kept over midnight stays in order.
BatteryLog parseBatteryLog(const std::string& csv);

std::string batteryChartFileName(int serial);

std::string batteryChartSvg(const BatteryLog& log, const std::string& title,
                            const std::string& source);

// Reads `csvPath` whole and replaces `svgPath` with its chart; a chart that cannot be written
// is said once on standard error.
void drawBatteryChart(const std::string& csvPath, const std::string& svgPath,
                      const std::string& title);

}  // namespace qx5cmd
