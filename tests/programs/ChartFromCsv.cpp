// Draws a chart from a CSV file with the tester's own chart code, so a known file can be
// turned into a known picture and checked pixel by pixel.
//   qx5_chart_from_csv battery LOG.csv OUT.svg
//   qx5_chart_from_csv goto LOG.csv OUT.svg TARGET ACCURACY [ATTAINED_SECONDS]
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>

#include "qx5cmd/diagnostics/BatteryChart.h"
#include "qx5cmd/exercises/GotoChart.h"

namespace {

int usage() {
  std::fprintf(stderr,
               "usage: qx5_chart_from_csv battery LOG.csv OUT.svg\n"
               "       qx5_chart_from_csv goto LOG.csv OUT.svg TARGET ACCURACY [ATTAINED]\n");
  return 2;
}

// The polls of a Goto's CSV file (its header line first).
bool readGotoPolls(const std::string& path, qx5cmd::GotoTrace& trace) {
  std::ifstream in(path);
  std::string line;
  if (!std::getline(in, line)) return false;
  while (std::getline(in, line)) {
    qx5cmd::GotoPoll p;
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf", &p.seconds, &p.room, &p.fanPressure,
                    &p.fanSpeed) != 4)
      return false;
    trace.polls.push_back(p);
  }
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 4) return usage();
  const std::string kind = argv[1], csv = argv[2], svg = argv[3];
  if (kind == "battery") {
    qx5cmd::drawBatteryChart(csv, svg, "Battery of gauge 10001");
    return 0;
  }
  if (kind != "goto" || argc < 6) return usage();
  qx5cmd::GotoTrace trace;
  trace.title = "Goto on gauge 10001";
  trace.target = std::atof(argv[4]);
  trace.accuracy = std::atof(argv[5]);
  if (argc > 6) trace.attainedAt = std::atof(argv[6]);
  trace.outcome = trace.attainedAt ? "attained and sampled" : "timed out";
  if (!readGotoPolls(csv, trace)) {
    std::fprintf(stderr, "cannot read %s\n", csv.c_str());
    return 1;
  }
  std::ofstream(svg, std::ios::binary) << qx5cmd::gotoChartSvg(trace, csv);
  return 0;
}
