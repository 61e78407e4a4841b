// The tester's operating-system services: clocks, sleeping, local time, the executable's
// folder, the bell. Everything else in the tester reaches the OS through here, BreakSignal.h, or
// the library's platform module for loading a library at run time (qx5_dll/platform).
#pragma once

#include <cstdint>
#include <cstdio>
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

// Creates `path` for writing text, only if no file of that name exists (checked and created in
// one step, so a backup is never truncated). Null when it exists or cannot be made.
std::FILE* createNewTextFile(const std::string& path);

// Standard output goes out at least line by line, even into a pipe or file.
void lineBufferStandardOutput();

// The terminal bell on standard output.
void beep();

// A 1 ms system timer for the run's sleeps; returns the period to hand back to restore, 0 when
// nothing was changed. Off Windows the clocks are already that fine and these do nothing.
int raiseTimerResolution();
void restoreTimerResolution(int period);
// Keeps the machine from sleeping during a long run (Windows only).
void keepSystemAwake();

}  // namespace qx5cmd::platform
