// The library's one set of shared state: initialisation, the device list and what the gauge
// selected through the legacy exports has told them. It changes under the StateLock, taken
// briefly; talking to a gauge needs that gauge's lock instead (CallFrame.h).
#pragma once

#include <atomic>
#include <cstdint>

namespace qx5 {
class mchpusb;
}

namespace qx5::api {

inline constexpr const char* kDllVersion = "2.2.0.18";

// What a gauge's answers to SetRange/SetDevice and the auto-zero switch left behind: one set for
// the legacy exports (whatever gauge is selected), one per handle.
struct Remembered {
  std::atomic<std::uint8_t> maxRange{0};
  std::atomic<std::uint8_t> maxDevice{0};
  std::atomic<bool> autoZero{false};
  void clear() {
    maxRange = 0;
    maxDevice = 0;
    autoZero = false;
  }
};

struct LibraryState {
  std::atomic<bool> initialised{false};
  mchpusb* deviceList = nullptr;
  std::int32_t currentPort = 0;
  Remembered legacy;
};

// Zero at load, constant-initialised, so it is usable from the library constructor on.
LibraryState& library();

// The library-wide state lock: initialisation, the device list, the selection, the handle table.
// Recursive, as exports built on other exports take it again. Never taken while holding a
// gauge's lock, so the order is always state, then gauge.
class StateLock {
 public:
  StateLock();
  ~StateLock();
  StateLock(const StateLock&) = delete;
  StateLock& operator=(const StateLock&) = delete;
};

// The state lock if it is free now: a thread holding a gauge's lock may take it this way without
// breaking the order, as it never waits.
class StateTryLock {
 public:
  StateTryLock();
  ~StateTryLock();
  StateTryLock(const StateTryLock&) = delete;
  StateTryLock& operator=(const StateTryLock&) = delete;
  bool owns() const { return owns_; }

 private:
  bool owns_;
};

void InitializeVariables();

// Back to the state at load, device list destroyed (tests that need a fresh library).
void ResetLibraryState();

// Process detach: destroys the device list, clears the initialised flag. Safe to call twice.
void DetachProcess();

}  // namespace qx5::api
