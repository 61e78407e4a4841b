#include "qx5cmd/diagnostics/BatteryChart.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <sstream>

#include "qx5cmd/charts/OutputFiles.h"
#include "qx5cmd/charts/TimeChart.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {
namespace {

constexpr double kDay = 86400;

// The four double-quoted fields of a line, or false.
bool quotedFields(const std::string& line, std::string (&fields)[4]) {
  std::size_t at = 0;
  for (int i = 0; i < 4; ++i) {
    if (i > 0 && (at >= line.size() || line[at++] != ',')) return false;
    if (at >= line.size() || line[at++] != '"') return false;
    const std::size_t close = line.find('"', at);
    if (close == std::string::npos) return false;
    fields[i] = line.substr(at, close - at);
    at = close + 1;
  }
  return at == line.size();
}

bool parseClock(const std::string& text, double& seconds) {
  int h = 0, m = 0, s = 0;
  if (text.size() != 8 || text[2] != ':' || text[5] != ':') return false;
  for (int i : {0, 1, 3, 4, 6, 7}) {
    if (text[i] < '0' || text[i] > '9') return false;
  }
  h = std::stoi(text.substr(0, 2)), m = std::stoi(text.substr(3, 2)),
  s = std::stoi(text.substr(6, 2));
  if (h > 23 || m > 59 || s > 60) return false;
  seconds = h * 3600 + m * 60 + s;
  return true;
}

bool parseFlag(const std::string& text, const char* on, bool& flag) {
  flag = text == on;
  return flag || text == "off";
}

bool parseLine(std::string line, double& seconds, BatterySample& sample) {
  if (!line.empty() && line.back() == '\r') line.pop_back();  // written in text mode on Windows
  std::string fields[4];
  int reading = 0;
  if (!quotedFields(line, fields) || !parseClock(fields[0], seconds) ||
      !parseDecimalInt(fields[1], reading) || fields[1].empty() || reading < 0 || reading > 0xFFFF)
    return false;
  sample.reading = static_cast<std::uint16_t>(reading);
  return parseFlag(fields[2], "A/C", sample.mains) &&
         parseFlag(fields[3], "charging", sample.charging);
}

// The stretches of time over which `on` holds, each sample standing until the next one.
std::vector<charts::Range> periods(const BatteryLog& log, bool BatterySample::*on) {
  std::vector<charts::Range> spans;
  for (std::size_t i = 0; i + 1 < log.entries.size(); ++i) {
    if (!(log.entries[i].sample.*on)) continue;
    const double from = log.entries[i].seconds, to = log.entries[i + 1].seconds;
    if (!spans.empty() && spans.back().high == from) {
      spans.back().high = to;
    } else {
      spans.push_back({from, to});
    }
  }
  return spans;
}

std::string clockText(double seconds) {
  const long s = static_cast<long>(seconds);
  const std::string text = format("%02ld:%02ld:%02ld", s % 86400 / 3600, s / 60 % 60, s % 60);
  return s >= kDay ? text + format(" (+%ldd)", s / 86400) : text;
}

}  // namespace

BatteryLog parseBatteryLog(const std::string& csv) {
  BatteryLog log;
  std::istringstream lines(csv);
  std::string line;
  double day = 0, previous = -1;
  while (std::getline(lines, line)) {
    if (line.empty() || line == "\r") continue;
    double seconds = 0;
    BatterySample sample;
    if (!parseLine(line, seconds, sample)) {
      ++log.unreadable;
      continue;
    }
    if (seconds + day < previous) day += kDay;
    previous = seconds + day;
    log.entries.push_back({previous, sample});
  }
  return log;
}

std::string batteryChartFileName(int serial) { return format("battery_test_%d.svg", serial); }

std::string batteryChartSvg(const BatteryLog& log, const std::string& title,
                            const std::string& source) {
  charts::Chart chart;
  chart.title = title;
  charts::Series reading{"battery reading", "#1f5fbf", {}, false};
  charts::Range time{0, 0}, values{0, 0};
  for (const BatteryLogEntry& e : log.entries) {
    reading.points.push_back({e.seconds, static_cast<double>(e.sample.reading)});
  }
  if (!log.entries.empty()) {
    auto [low, high] = std::minmax_element(
        log.entries.begin(), log.entries.end(),
        [](const auto& a, const auto& b) { return a.sample.reading < b.sample.reading; });
    values = {static_cast<double>(low->sample.reading), static_cast<double>(high->sample.reading)};
    time = {log.entries.front().seconds, log.entries.back().seconds};
  }
  chart.x = charts::clockAxis("local time", time);
  chart.left = charts::numberAxis("battery reading (firmware units)", values);
  chart.shades.push_back({"on mains (A/C)", "#f0b429", 0.3, periods(log, &BatterySample::mains)});
  chart.shades.push_back({"charging", "#3aa655", 0.3, periods(log, &BatterySample::charging)});
  chart.series.push_back(std::move(reading));
  chart.caption.push_back(
      log.entries.empty() ? "no samples yet"
                          : format("%d samples from %s to %s", static_cast<int>(log.entries.size()),
                                   clockText(time.low).c_str(), clockText(time.high).c_str()));
  chart.caption.push_back(format("%d unreadable line%s of %s skipped", log.unreadable,
                                 log.unreadable == 1 ? "" : "s", source.c_str()));
  return charts::drawChart(chart);
}

void drawBatteryChart(const std::string& csvPath, const std::string& svgPath,
                      const std::string& title) {
  std::ifstream in(csvPath, std::ios::binary);
  if (!in) {
    charts::reportUnwritable(svgPath, "cannot read " + csvPath);
    return;
  }
  const std::string csv(std::istreambuf_iterator<char>(in), {});
  charts::replaceOrReport(svgPath, batteryChartSvg(parseBatteryLog(csv), title, csvPath));
}

}  // namespace qx5cmd
