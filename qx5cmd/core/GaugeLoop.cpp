#include "qx5cmd/core/GaugeLoop.h"

#include <cstdio>
#include <map>
#include <string>
#include <vector>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/GaugeWorkers.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

constexpr int kBootloaderSerial = 5555555;

std::string gaugeLabel(int index) { return format("Gauge %d:", index); }

// UsbPort(index), reporting a failure the way both loops do.
bool usbPort(int index) {
  Session& s = session();
  s.gaugeIndex = index;
  if (binding().UsbPort->call(static_cast<std::uint8_t>(index))) return true;
  printLibraryError();
  printLine(gaugeLabel(index), "Error Selecting Gauge");
  printLibraryError();
  return false;
}

// The gauge at `index` opened for a worker (-j), reported as a failed selection when it cannot
// be. Handles are opened on the main thread, between the polls of the device list, so that an
// index always names the gauge the poll saw there.
GaugeHandle openForWorker(int index) {
  session().gaugeIndex = index;
  if (GaugeHandle handle = openGauge(index)) return handle;
  printLibraryError();
  printLine(gaugeLabel(index), "Error Selecting Gauge");
  printLibraryError();
  return 0;
}

GaugeRun& workerRun(GaugeRuns& runs, int key, int loop, int count, int index) {
  GaugeRun& run = runs.at(key, format("[%d] ", key));
  run.session.loopIndex = loop;
  run.session.gaugeCount = count;
  run.session.gaugeIndex = index;
  return run;
}

// What follows the selection of a gauge: its USB processor version (first loop, -u) and its
// serial number.
void announceGauge(int loop) {
  Session& s = session();
  LibraryBinding& library = binding();
  printLibraryError();
  if (loop == 0 && s.options.usbCpuVersion) {
    if (!library.GetUSBCPUVersion) {
      out("missing GetUSBCPUVersion function, requires qx5dll.dll from March 10, 2010 "
          "(2.2.0.6)\n");
    } else {
      out("%-25susb firmware %s\n", linePrefix("Gauge#").c_str(),
          library.GetUSBCPUVersion->call().c_str());
    }
  }
  s.serial = library.GetSerialNumber->call();
  if (loop == 0 || !s.options.quiet) out("%-25s%d\n", linePrefix("Gauge#").c_str(), s.serial);
  printLibraryError();
  interCallDelay();
}

// The tests on the selected gauge, unless -g names another; false when one failed.
bool testGauge(RunList& runList) {
  int filter = session().options.gaugeSerial;
  return (filter != 0 && filter != session().serial) || runTestsOnGauge(runList);
}

// Every gauge at once, up to -j of them.
bool parallelGaugePass(GaugeRuns& runs, int loop, int count) {
  bool result = true;
  std::vector<GaugeJob> jobs;
  for (int i = 0; i < count && !breakRequested(); ++i) {
    GaugeHandle handle = openForWorker(i);
    if (!handle) {
      result = false;
      continue;
    }
    GaugeRun& run = workerRun(runs, i, loop, count, i);
    jobs.push_back({&run, handle, [&run, loop] {
                      announceGauge(loop);
                      return testGauge(run.runList);
                    }});
  }
  for (bool passed : runJobs(jobs, session().options.jobs)) result = result && passed;
  return result && !breakRequested();
}

void runOnNewGauge(RunList& runList, int serial) {
  if (!runTestsOnGauge(runList)) out("upgrade failed for gauge %6d\n", serial);
}

}  // namespace

bool runTestsOnGauge(RunList& runList) {
  for (auto& test : runList) {
    if (!test->arguments.empty() && !session().stationMode) printResult(test->displayName, "");
    test->successTimes->start();
    test->failureTimes->start();
    // A test whose export is missing has said so at preparation; it fails without a call.
    bool ok = test->bound && test->run();
    if (ok) {
      test->successTimes->stop();
      test->failureTimes->clear();
    } else {
      test->failureTimes->stop();
      test->successTimes->clear();
    }
    printLibraryError();
    interCallDelay();
    if (!ok || breakRequested()) return false;
  }
  return true;
}

bool selectGauge(int index, int loop) {
  if (!usbPort(index)) return false;
  announceGauge(loop);
  return true;
}

bool gaugePass(RunList& runList, int loop, int count) {
  bool result = true;
  for (int i = 0; i < count; ++i) {
    if (breakRequested()) return false;
    if (!selectGauge(i, loop)) {
      printLibraryError();
      result = false;
      continue;
    }
    if (!testGauge(runList)) result = false;
  }
  return result;
}

namespace {

void gaugeLoop(RunList& runList, GaugeRuns& runs) {
  Session& s = session();
  const Options& options = s.options;
  for (int loop = 0; (loop < options.loops || options.loops == 0) && !breakRequested(); ++loop) {
    if (!options.quiet) out("\n");
    s.loopIndex = loop;
    int count = binding().GetDeviceCount->call();
    s.gaugeCount = count;
    if (count == 0) {
      printResult("Number of Gauges:", "No Gauges attached");
      printLibraryError();
      s.sleep(1000);
      continue;
    }
    if (loop == 0 || !options.quiet) {
      out("%-25s%d\n", linePrefix("Number of Gauges:").c_str(), count);
    }
    printLibraryError();
    if (!interCallDelay()) break;
    const bool passed =
        options.jobs > 1 ? parallelGaugePass(runs, loop, count) : gaugePass(runList, loop, count);
    if (!passed && options.stopOnFailure) break;
  }
}

void stationLoop(RunList& runList, GaugeRuns& runs) {
  Session& s = session();
  LibraryBinding& library = binding();
  const bool parallel = s.options.jobs > 1;
  std::map<int, int> known;  // serial number -> gauge index
  bool changed = false;
  out("waiting for gauges\n");
  for (int poll = 0; !breakRequested(); ++poll, changed = false) {
    s.loopIndex = poll;
    std::map<int, int> seen;
    int count = library.GetDeviceCount->call();
    s.gaugeCount = count;
    for (int i = 0; i < count; ++i) {
      if (!usbPort(i)) return;
      int serial = library.GetSerialNumber->call();
      if (serial == -1) continue;
      if (auto k = known.find(serial); k != known.end()) k->second = i;
      seen[serial] = i;
    }
    // With -j the new gauges are opened as they are found and upgraded together afterwards.
    std::vector<GaugeJob> jobs;
    for (const auto& [serial, index] : seen) {
      if (known.count(serial)) continue;
      changed = true;
      out("found gauge %6d    \n", serial);
      if (breakRequested()) {
        for (const GaugeJob& job : jobs) closeGauge(job.handle);
        return;
      }
      GaugeHandle handle = 0;
      if (parallel ? !(handle = openForWorker(index)) : !usbPort(index))
        continue;  // found again at the next poll
      s.serial = serial;
      known[serial] = index;
      if (serial == kBootloaderSerial) {
        out("skipping gauge that is in the bootloader,... please use upgrade_firmware.bat or "
            "call Quill to modify this program\n");
        closeGauge(handle);
      } else if (parallel) {
        GaugeRun& run = workerRun(runs, serial, poll, count, index);
        run.session.serial = serial;
        jobs.push_back({&run, handle, [&run, serial = serial] {
                          runOnNewGauge(run.runList, serial);
                          return true;
                        }});
      } else {
        runOnNewGauge(runList, serial);
      }
    }
    runJobs(jobs, s.options.jobs);
    for (auto k = known.begin(); k != known.end();) {
      if (seen.count(k->first)) {
        ++k;
        continue;
      }
      changed = true;
      out("gauge %6d removed    \n", k->first);
      k = known.erase(k);
    }
    std::string now = platform::localTimeText("%a %b %d %I:%M:%S");
    if (changed) {
      out("\n* %s\n* \n", now.c_str());
      for (const auto& [serial, index] : known) {
        if (!usbPort(index)) continue;
        std::string version =
            library.GetQX5FirmwareVersion ? library.GetQX5FirmwareVersion->call() : "";
        out("* gauge %6d firmware: %s\n", serial, version.c_str());
      }
      out("*\n* waiting for new gauges...\n\n");
    } else {
      out("%s", now.c_str());
      outFlush();
      out("%s", std::string(now.size(), '\b').c_str());
    }
    if (breakRequested()) return;
    if (!sleepUnlessBreak(s.options.delayMs)) return;
    if (s.options.stopOnFailure) return;
  }
}

}  // namespace

void gaugeLoop(RunList& runList) {
  GaugeRuns runs(runList);
  gaugeLoop(runList, runs);
  runs.mergeStatistics(stats());
}

void stationLoop(RunList& runList) {
  GaugeRuns runs(runList);
  stationLoop(runList, runs);
  runs.mergeStatistics(stats());
}

}  // namespace qx5cmd
