// The tester's operating-system services: clocks, sleeping, local time, the executable's
// folder, the bell. Everything else in the tester reaches the OS through here or through
// DynamicLibrary.h and BreakSignal.h.
#pragma once

#include <cstdint>
#include <string>

namespace qx5cmd::platform {

// High-resolution counter in ticks, never 0 once running; ticks per second below.
std::int64_t performanceCounter();
std::int64_t performanceFrequency();

// Millisecond tick count of the system (wraps like a 32-bit counter).
std::uint32_t tickCountMs();

void sleepMs(int milliseconds);

// Local time formatted with strftime.
std::string localTimeText(const char* format);

// The folder holding the running executable, empty when it cannot be found.
std::string executableDirectory();

bool fileExists(const std::string& path);

// The terminal bell on standard output.
void beep();

// Timer resolution and keep-awake are not needed here: the sleeps and clocks are already
// millisecond-accurate and a console program does not stop the machine from sleeping.
inline int raiseTimerResolution() { return 0; }
inline void restoreTimerResolution(int) {}
inline void keepSystemAwake() {}

}  // namespace qx5cmd::platform
