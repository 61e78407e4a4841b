#include "qx5cmd/exercises/GotoRecording.h"

#include <cerrno>
#include <cstring>

#include "qx5cmd/charts/OutputFiles.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {

GotoRecording::GotoRecording(int serial, const std::string& title, double target, double accuracy)
    : csvPath_(gotoCsvFileName(serial)), svgPath_(gotoChartFileName(serial)) {
  trace_.title = format("%s on gauge %d", title.c_str(), serial);
  trace_.target = target;
  trace_.accuracy = accuracy;
  csv_ = std::fopen(csvPath_.c_str(), "wb");
  if (!csv_ || std::fputs(kGotoCsvHeader, csv_) < 0) {
    charts::reportUnwritable(csvPath_, std::strerror(errno));
    if (csv_) std::fclose(csv_);
    csv_ = nullptr;
  }
}

GotoRecording::~GotoRecording() {
  if (csv_) std::fclose(csv_);
}

void GotoRecording::poll(const GotoPoll& poll) {
  trace_.polls.push_back(poll);
  if (!csv_) return;
  // Flushed line by line: the file is the record of a run that may be cut short.
  if (std::fputs(gotoCsvLine(poll).c_str(), csv_) < 0 || std::fflush(csv_) != 0) {
    charts::reportUnwritable(csvPath_, std::strerror(errno));
    std::fclose(csv_);
    csv_ = nullptr;
  }
}

bool GotoRecording::end(bool attainedAndSampled) {
  if (csv_ && std::fclose(csv_) != 0) charts::reportUnwritable(csvPath_, std::strerror(errno));
  csv_ = nullptr;
  trace_.outcome = attainedAndSampled ? "attained and sampled"
                   : timedOut_        ? "timed out before the pressure was attained"
                                      : "stopped early (a break or a failed reading)";
  charts::replaceOrReport(svgPath_, gotoChartSvg(trace_, csvPath_));
  return attainedAndSampled;
}

}  // namespace qx5cmd
