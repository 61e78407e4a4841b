#include "qx5cmd/exercises/GotoChart.h"

#include <algorithm>

#include "qx5cmd/charts/TimeChart.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {
namespace {

// The smallest range holding `range` and `value`.
charts::Range widened(charts::Range range, double value) {
  return {std::min(range.low, value), std::max(range.high, value)};
}

}  // namespace

const char* const kGotoCsvHeader = "seconds,room_kPa,fan_kPa,fan_speed\n";

std::string gotoCsvFileName(int serial) { return format("goto_%d.csv", serial); }
std::string gotoChartFileName(int serial) { return format("goto_%d.svg", serial); }

std::string gotoCsvLine(const GotoPoll& poll) {
  return format("%.3f,%.3f,%.3f,%.2f\n", poll.seconds, poll.room, poll.fanPressure, poll.fanSpeed);
}

std::string gotoChartSvg(const GotoTrace& trace, const std::string& source) {
  charts::Chart chart;
  chart.title = trace.title;
  const double bandLow = trace.target - trace.accuracy, bandHigh = trace.target + trace.accuracy;
  charts::Range pressures{bandLow, bandHigh}, speeds{0, 0};
  charts::Series room{"room pressure", "#1f5fbf", {}, false};
  charts::Series fan{"fan speed", "#e67e22", {}, true};
  for (const GotoPoll& p : trace.polls) {
    room.points.push_back({p.seconds, p.room});
    fan.points.push_back({p.seconds, p.fanSpeed});
    pressures = widened(pressures, p.room);
    speeds = widened(speeds, p.fanSpeed);
  }
  const double last = trace.polls.empty() ? 0 : trace.polls.back().seconds;
  chart.x = charts::elapsedAxis("time since the target was set (s)", {0, last});
  chart.left = charts::numberAxis("room pressure (kPa)", pressures);
  chart.right = charts::numberAxis("fan speed (%)", speeds);
  chart.bands.push_back({format("accuracy band (+/- %s kPa)", streamed(trace.accuracy).c_str()),
                         "#3aa655",
                         {bandLow, bandHigh},
                         trace.target,
                         format("target %s kPa", streamed(trace.target).c_str())});
  if (trace.attainedAt) {
    chart.shades.push_back({"sampling window", "#8e7cc3", 0.25, {{*trace.attainedAt, last}}});
    chart.markers.push_back({"attained", "#c0392b", *trace.attainedAt});
  }
  chart.series.push_back(std::move(room));
  chart.series.push_back(std::move(fan));
  chart.caption.push_back(format("%s after %.1f s, %d polls", trace.outcome.c_str(), last,
                                 static_cast<int>(trace.polls.size())));
  chart.caption.push_back("every poll, with the fan pressure, is in " + source);
  return charts::drawChart(chart);
}

}  // namespace qx5cmd
