// Gauges run at once (-j): each on a thread of its own, through a handle of its own, with its own
// copy of the run list, session, statistics and console lines, so that nothing one gauge does
// reaches another, and a gauge that fails or vanishes stops only its own run.
#pragma once

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// Whether the loaded library hands out gauge handles.
bool libraryHasGaugeHandles(const LibraryBinding& library);
// QX5GaugeOpen(index) on the calling thread; 0 on failure, its reason in the thread's error text.
GaugeHandle openGauge(int index);
void closeGauge(GaugeHandle gauge);

// One gauge's side of the run, kept from pass to pass: made on the main thread and used by one
// worker at a time.
struct GaugeRun {
  GaugeRun(const RunList& runList, std::string tag);

  Session session;
  StatsRegistry statistics;
  std::unique_ptr<LibraryBinding> view;  // the loaded library on this gauge's handle
  RunList runList;
};

// The gauges' runs by key (the gauge loop's index, the station's serial number), in key order.
class GaugeRuns {
 public:
  explicit GaugeRuns(const RunList& runList) : runList_(runList) {}
  // The run of `key`, made when it is new; its lines start with `tag`.
  GaugeRun& at(int key, const std::string& tag);
  // Adds every run's statistics to the run's own, in key order: once, at the end.
  void mergeStatistics(StatsRegistry& into) const;

 private:
  const RunList& runList_;
  std::map<int, std::unique_ptr<GaugeRun>> runs_;
};

// One gauge's work for a pass: its run and handle, and what to do on the worker's thread (the
// handle's view and the run's session, statistics and console installed). The handle is closed
// when the work ends.
struct GaugeJob {
  GaugeRun* run;
  GaugeHandle handle;
  std::function<bool()> work;
};

// Runs the jobs on up to `workers` threads at once and waits for all of them; their results in
// job order.
std::vector<bool> runJobs(std::vector<GaugeJob>& jobs, int workers);

}  // namespace qx5cmd
