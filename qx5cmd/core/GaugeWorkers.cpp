#include "qx5cmd/core/GaugeWorkers.h"

#include <algorithm>
#include <atomic>
#include <thread>

#include "qx5cmd/core/Console.h"

namespace qx5cmd {
bool libraryHasGaugeHandles(const LibraryBinding& library) {
  return library.QX5GaugeOpen && library.QX5GaugeClose;
}

GaugeHandle openGauge(int index) {
  auto open = binding().QX5GaugeOpen;
  return open ? open(index) : 0;
}

void closeGauge(GaugeHandle gauge) {
  auto close = binding().QX5GaugeClose;
  if (close && gauge) close(gauge);
}

GaugeRun::GaugeRun(const RunList& original, std::string tag)
    : session(qx5cmd::session()), statistics(stats().ticksPerSecond()) {
  // Bound and prepared as this gauge's: the wrappers call through the view and time into the
  // gauge's statistics. A test the run's own preparation could not bind has said so once.
  StatsScope statsScope(statistics);
  view = std::make_unique<LibraryBinding>(binding(), 0);
  session.workerTag = std::move(tag);
  session.binding = view.get();
  SessionScope sessionScope(session);
  for (const auto& test : original) {
    runList.push_back(test->copy());
    runList.back()->prepare(test->bound);
  }
}

GaugeRun& GaugeRuns::at(int key, const std::string& tag) {
  auto& run = runs_[key];
  if (!run) run = std::make_unique<GaugeRun>(runList_, tag);
  return *run;
}

void GaugeRuns::mergeStatistics(StatsRegistry& into) const {
  for (const auto& [key, run] : runs_) into.merge(run->statistics);
}

std::vector<bool> runJobs(std::vector<GaugeJob>& jobs, int workers) {
  std::vector<char> results(jobs.size(), 0);
  std::atomic<std::size_t> next{0};
  auto worker = [&] {
    for (std::size_t i; (i = next.fetch_add(1)) < jobs.size();) {
      GaugeJob& job = jobs[i];
      job.run->view->setGauge(job.handle);
      SessionScope sessionScope(job.run->session);
      StatsScope statsScope(job.run->statistics);
      {
        ConsoleLines lines(job.run->session.workerTag);
        ConsoleScope consoleScope(lines);
        results[i] = job.work();
      }
      closeGauge(job.handle);
      job.run->view->setGauge(0);
    }
  };
  const std::size_t count =
      std::min<std::size_t>(static_cast<std::size_t>(std::max(workers, 1)), jobs.size());
  std::vector<std::thread> threads;
  for (std::size_t t = 0; t < count; ++t) threads.emplace_back(worker);
  for (std::thread& thread : threads) thread.join();
  return std::vector<bool>(results.begin(), results.end());
}

}  // namespace qx5cmd
