#include "qx5_dll/api/LibraryState.h"

#include <mutex>
#include <new>

#include "qx5_dll/api/GaugeHandles.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/mchpusb.h"

namespace qx5::api {

namespace {
constinit LibraryState state;

// Never destroyed, as an export may still run from another static's destructor at exit; and
// not on the heap, as the library may be unloaded and loaded again.
std::recursive_mutex& stateMutex() {
  alignas(std::recursive_mutex) static unsigned char storage[sizeof(std::recursive_mutex)];
  static std::recursive_mutex* mutex = new (storage) std::recursive_mutex;
  return *mutex;
}

void destroyDeviceList() {
  // Handles share the list's gauges: they go first, and their calls in flight end refused.
  closeAllHandles();
  delete state.deviceList;
  state.deviceList = nullptr;
}
}  // namespace

LibraryState& library() { return state; }

StateLock::StateLock() { stateMutex().lock(); }
StateLock::~StateLock() { stateMutex().unlock(); }

StateTryLock::StateTryLock() : owns_(stateMutex().try_lock()) {}
StateTryLock::~StateTryLock() {
  if (owns_) stateMutex().unlock();
}

void InitializeVariables() {
  state.legacy.clear();
  state.currentPort = 0;
}

void ResetLibraryState() {
  StateLock lock;
  destroyDeviceList();
  state.initialised = false;
  state.currentPort = 0;
  state.legacy.clear();
}

void DetachProcess() {
  static bool detached = false;
  if (detached) return;
  detached = true;
  LogPrint(4, "DLLMain:DLL_PROCESS_DETACH");
  // No lock: at process exit a thread that held it may be gone without releasing it.
  destroyDeviceList();
  state.initialised = false;
}

}  // namespace qx5::api
