// What a Goto saw, as a CSV line per poll and as a chart: the room pressure over time against
// the target and its accuracy band, the moment the pressure was attained, the sampling window,
// and the fan speed on a second axis.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace qx5cmd {

struct GotoPoll {
  double seconds = 0;      // since the Goto began waiting
  double room = 0;         // kPa
  double fanPressure = 0;  // kPa
  double fanSpeed = 0;     // as the gauge reports it, percent on current firmware
};

struct GotoTrace {
  std::string title;
  double target = 0;
  double accuracy = 0;
  std::vector<GotoPoll> polls;
  std::optional<double> attainedAt;  // seconds; sampling runs from here to the last poll
  std::string outcome;
};

std::string gotoCsvFileName(int serial);
std::string gotoChartFileName(int serial);
extern const char* const kGotoCsvHeader;
std::string gotoCsvLine(const GotoPoll& poll);

std::string gotoChartSvg(const GotoTrace& trace, const std::string& source);

}  // namespace qx5cmd
