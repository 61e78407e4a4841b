// The run's process-wide state and the console services every test uses: the line prefix,
// result lines, the pause after each step and the library's error text.
#pragma once

#include <cstdint>
#include <string>

#include "qx5cmd/core/WorkerOverride.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {

class LibraryBinding;

struct Options {
  bool quiet = false;          // -q
  bool registryInfo = false;   // -r, accepted only
  bool showStats = false;      // -s
  bool stopOnFailure = false;  // -x
  bool reloadLibrary = false;  // -l, accepted only
  bool usbCpuVersion = false;  // -u
  int loops = 1;               // -n, 0 = until interrupted
  int delayMs = 1000;          // -d
  int gaugeSerial = 0;         // -g, 0 = every gauge
  int verbosity = -1;          // -v, -1 = the library is not told
  int jobs = 1;                // -j, gauges run at once
  // "logging" words: recorded, not used (the library logs by -v and its environment).
  bool loggingOff = false;
  std::string logFile;
  std::string logLevel;
};

struct Session {
  Options options;
  std::string programName = "qx5cmd";
  bool stationMode = false;
  int loopIndex = 0;
  int gaugeCount = 0;
  int gaugeIndex = 0;
  int serial = -1;
  LibraryBinding* binding = nullptr;
  // A worker's (-j) name of its gauge, "[<index>] " or "[<serial>] ": it starts each of its
  // lines. Empty on the main thread.
  std::string workerTag;
  // Set while a worker's copy of the run list takes its arguments again: what the command line
  // had to say about them has been said.
  bool quietArguments = false;
  // Every pause of the run goes through here, so tests can watch the slices.
  void (*sleep)(int milliseconds) = platform::sleepMs;
  // Every millisecond tick count the tests read comes from here, so tests can run the clock.
  std::uint32_t (*tickCount)() = platform::tickCountMs;
};

// The calling thread's session: a worker's own copy while one is installed, else the run's.
Session& session();

// Installs a worker's session on the calling thread for the scope's life.
using SessionScope = WorkerOverride<Session>;

// The loaded library; set once before any test is prepared.
LibraryBinding& binding();

// The label of a console line: loop number (when looping), gauge index (with several gauges),
// then the text; a worker's tag in place of the gauge index.
std::string linePrefix(const std::string& text);
// "%-25s%s\n" on standard output.
void printLine(const std::string& label, const std::string& value);
// printLine(linePrefix(label), value): how every test prints a result.
void printResult(const std::string& label, const std::string& value);

// Sleeps in slices of at most 1000 ms; false as soon as a break was requested.
bool sleepUnlessBreak(int milliseconds);
// The -d pause after a step; false when a break was requested.
bool interCallDelay();
// The library's error text after "ERROR:", when there is any.
void printLibraryError();

}  // namespace qx5cmd
