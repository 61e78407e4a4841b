#include "qx5cmd/core/GaugeLoop.h"

#include <cstdio>
#include <map>
#include <string>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
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
  Session& s = session();
  LibraryBinding& library = binding();
  if (!usbPort(index)) return false;
  printLibraryError();
  if (loop == 0 && s.options.usbCpuVersion) {
    if (!library.GetUSBCPUVersion) {
      std::printf(
          "missing GetUSBCPUVersion function, requires qx5dll.dll from March 10, 2010 "
          "(2.2.0.6)\n");
    } else {
      std::printf("%-25susb firmware %s\n", linePrefix("Gauge#").c_str(),
                  library.GetUSBCPUVersion->call().c_str());
    }
  }
  s.serial = library.GetSerialNumber->call();
  if (loop == 0 || !s.options.quiet)
    std::printf("%-25s%d\n", linePrefix("Gauge#").c_str(), s.serial);
  printLibraryError();
  interCallDelay();
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
    int filter = session().options.gaugeSerial;
    if ((filter == 0 || filter == session().serial) && !runTestsOnGauge(runList)) result = false;
  }
  return result;
}

void gaugeLoop(RunList& runList) {
  Session& s = session();
  const Options& options = s.options;
  for (int loop = 0; (loop < options.loops || options.loops == 0) && !breakRequested(); ++loop) {
    if (!options.quiet) std::printf("\n");
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
      std::printf("%-25s%d\n", linePrefix("Number of Gauges:").c_str(), count);
    }
    printLibraryError();
    if (!interCallDelay()) break;
    if (!gaugePass(runList, loop, count) && options.stopOnFailure) break;
  }
}

void stationLoop(RunList& runList) {
  Session& s = session();
  LibraryBinding& library = binding();
  std::map<int, int> known;  // serial number -> gauge index
  bool changed = false;
  std::printf("waiting for gauges\n");
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
    for (const auto& [serial, index] : seen) {
      if (known.count(serial)) continue;
      changed = true;
      std::printf("found gauge %6d    \n", serial);
      if (breakRequested()) return;
      if (!usbPort(index)) continue;  // found again at the next poll
      s.serial = serial;
      known[serial] = index;
      if (serial == kBootloaderSerial) {
        std::printf(
            "skipping gauge that is in the bootloader,... please use upgrade_firmware.bat or "
            "call Quill to modify this program\n");
      } else if (!runTestsOnGauge(runList)) {
        std::printf("upgrade failed for gauge %6d\n", serial);
      }
    }
    for (auto k = known.begin(); k != known.end();) {
      if (seen.count(k->first)) {
        ++k;
        continue;
      }
      changed = true;
      std::printf("gauge %6d removed    \n", k->first);
      k = known.erase(k);
    }
    std::string now = platform::localTimeText("%a %b %d %I:%M:%S");
    if (changed) {
      std::printf("\n* %s\n* \n", now.c_str());
      for (const auto& [serial, index] : known) {
        if (!usbPort(index)) continue;
        std::string version =
            library.GetQX5FirmwareVersion ? library.GetQX5FirmwareVersion->call() : "";
        std::printf("* gauge %6d firmware: %s\n", serial, version.c_str());
      }
      std::printf("*\n* waiting for new gauges...\n\n");
    } else {
      std::printf("%s", now.c_str());
      std::fflush(stdout);
      std::printf("%s", std::string(now.size(), '\b').c_str());
    }
    if (breakRequested()) return;
    if (!sleepUnlessBreak(s.options.delayMs)) return;
    if (s.options.stopOnFailure) return;
  }
}

}  // namespace qx5cmd
