// The time simulated gauges live in and the tester waits by. A real run uses the steady clock
// and real sleeps. QX5_VIRTUAL_CLOCK=<file> gives the process a virtual clock instead: it stands
// still until something sleeps, and a sleep moves it on at once. Its time is kept in the named
// file, so the library and the program that loaded it (each with its own copy of this code) read
// one clock. Tests use it to run fixed waits without waiting, with the same result on any machine.
#pragma once

#include <chrono>

namespace qx5::platform {

class Clock {
 public:
  using TimePoint = std::chrono::steady_clock::time_point;

  virtual ~Clock() = default;
  virtual TimePoint now() = 0;
  virtual void sleepUntil(TimePoint until) = 0;
  void sleepFor(std::chrono::nanoseconds duration) { sleepUntil(now() + duration); }
  virtual bool isVirtual() const = 0;
};

// The steady clock, or the virtual clock QX5_VIRTUAL_CLOCK names (read at the first call).
Clock& processClock();

}  // namespace qx5::platform
