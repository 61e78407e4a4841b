#include "qx5cmd/core/Program.h"

#include <cstdio>
#include <memory>

#include "qx5cmd/core/CommandLine.h"
#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/GaugeLoop.h"
#include "qx5cmd/core/GaugeWorkers.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/SessionClock.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

// Exit status when the library, or an export the loops cannot do without, is missing.
constexpr int kLibraryMissing = 1;

// The first thing a user on a new machine sees, so it says where the tester looked and how to
// point it elsewhere.
void reportLoadFailure(const LibraryBinding& library, const std::string& program) {
  const char* p = program.c_str();
  std::fprintf(stderr, "%s: can't load %s: %s\n", p, library.path().c_str(),
               library.loadError().c_str());
  if (library.fromEnvironment()) {
    std::fprintf(stderr, "%s: %s names that file; point it at a built %s, or unset it\n", p,
                 kLibraryEnvironmentVariable, kLibraryFileName);
    return;
  }
  std::string tried;
  for (const std::string& file : library.tried()) tried += (tried.empty() ? "" : ", ") + file;
  std::fprintf(stderr, "%s: tried %s (names without a folder through the system search path)\n", p,
               tried.c_str());
  std::fprintf(stderr, "%s: set %s=/path/to/%s to load another file\n", p,
               kLibraryEnvironmentVariable, kLibraryFileName);
}

bool libraryUsable(const LibraryBinding& library, const std::string& program) {
  if (!library.loaded()) {
    reportLoadFailure(library, program);
    return false;
  }
  bool usable = true;
  for (const auto& [name, wrapper] : library.members()) {
    std::string n = name;
    bool required = n == "GetDeviceCount" || n == "UsbPort" || n == "GetSerialNumber";
    if (required && !wrapper) {
      std::fprintf(stderr, "%s: %s lacks the export %s\n", program.c_str(), library.path().c_str(),
                   name);
      usable = false;
    }
  }
  if (session().options.jobs > 1 && !libraryHasGaugeHandles(library)) {
    std::fprintf(stderr,
                 "%s: -j needs the exports QX5GaugeOpen and QX5GaugeClose, which %s lacks\n",
                 program.c_str(), library.path().c_str());
    usable = false;
  }
  return usable;
}

void startLibraryLogging(const LibraryBinding& library, int level) {
  if (level == -1) return;
  if (library.LogInitToStdout) {
    library.LogInitToStdout->call(level);
  } else {
    out("qx5dll is older than feb23,2010 and doesn't support printing to stdout\n");
  }
}

void run(RunList& runList) {
  Session& s = session();
  installBreakHandler();
  StatsTimes& total = stats().times("TotalTestTime");
  total.start();
  platform::keepSystemAwake();
  if (s.stationMode) {
    stationLoop(runList);
  } else {
    gaugeLoop(runList);
  }
  total.stop();
  if (s.options.showStats || s.options.loops != 1) {
    out("\n--- Stats ---\n%s", stats().report().c_str());
  }
  outFlush();
}

}  // namespace

int runProgram(const std::vector<std::string>& words, const std::vector<RegistrationStep>& steps) {
  // Line by line even into a pipe or file, so output shows as it happens and the break
  // message lands after the lines before it.
  platform::lineBufferStandardOutput();
  int timerPeriod = platform::raiseTimerResolution();
  Session& s = session();

  TestRegistry registry;
  for (RegistrationStep step : steps) step(registry);

  RunList runList;
  if (auto status = parseCommandLine(words, registry, s, runList)) return *status;
  followVirtualClock(s);

  // Created once and kept to the end of the process: wrappers and tests point into it.
  static std::unique_ptr<LibraryBinding> library;
  library = std::make_unique<LibraryBinding>();
  s.binding = library.get();
  if (!libraryUsable(*library, s.programName)) return kLibraryMissing;
  startLibraryLogging(*library, s.options.verbosity);

  for (auto& test : runList) test->prepare();
  run(runList);
  platform::restoreTimerResolution(timerPeriod);
  return 0;
}

}  // namespace qx5cmd
