// Keeps what one Goto run sees: goto_<serial>.csv grows a line per poll while it runs (so it
// survives a run that never ends), and goto_<serial>.svg is drawn when the run ends, however
// it ends. Each Goto on a gauge starts both afresh.
#pragma once

#include <cstdio>
#include <string>

#include "qx5cmd/exercises/GotoChart.h"

namespace qx5cmd {

class GotoRecording {
 public:
  GotoRecording(int serial, const std::string& title, double target, double accuracy);
  ~GotoRecording();
  GotoRecording(const GotoRecording&) = delete;
  GotoRecording& operator=(const GotoRecording&) = delete;

  void poll(const GotoPoll& poll);
  void attained(double seconds) { trace_.attainedAt = seconds; }
  void timedOut() { timedOut_ = true; }
  // Draws the chart and passes the run's result on.
  bool end(bool attainedAndSampled);

 private:
  std::string csvPath_;
  std::string svgPath_;
  std::FILE* csv_ = nullptr;
  GotoTrace trace_;
  bool timedOut_ = false;
};

}  // namespace qx5cmd
