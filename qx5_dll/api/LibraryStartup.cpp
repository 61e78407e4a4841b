#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_export_bodies.h"

#include <cstdlib>

#include "qx5_dll/api/CallFrame.h"
#include "qx5_dll/api/GaugeHandles.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5_dll/usb/record/RecordingUsbPlatform.h"
#include "qx5_dll/usb/sim/SimulatedUsbPlatform.h"
#if defined(_WIN32)
#include "qx5_dll/usb/winusb/WinUsbPlatform.h"
#else
#include "qx5_dll/usb/libusb/LibusbPlatform.h"
#endif
#include "qx5dll.h"

namespace qx5 {

namespace {
UsbPlatformFactory& factoryOverride() {
  static UsbPlatformFactory factory;
  return factory;
}

void logLine(const std::string& message) { LogPrint(1, "%s", message.c_str()); }

std::unique_ptr<UsbPlatform> chosenUsbPlatform() {
  if (factoryOverride()) return factoryOverride()();
  if (const char* simulation = std::getenv("QX5SIM"))
    return sim::createSimulatedPlatform(simulation, logLine);
#if defined(_WIN32)
  return usb::createWinUsbPlatform();
#else
  return usb::createLibusbPlatform();
#endif
}
}  // namespace

void setUsbPlatformFactory(UsbPlatformFactory factory) { factoryOverride() = std::move(factory); }

// Every transport alike: QX5_RECORD sees what the chosen one exchanges.
std::unique_ptr<UsbPlatform> createUsbPlatform() {
  return usb::recordIfAsked(chosenUsbPlatform(), api::kDllVersion, logLine);
}

}  // namespace qx5

namespace qx5::api {

namespace {

// Detaches before the log facility's statics go away at exit: created on the first
// initialisation, long after they were, so it is destroyed before them.
struct DetachAtExit {
  ~DetachAtExit() { DetachProcess(); }
};

void startLogFromEnvironment() {
  if (logLevel() >= 0) return;
  const char* file = std::getenv("QX5LOGFILE");
  if (!file) return;
  const char* level = std::getenv("QX5LOGLEVEL");
  logInit(level ? std::atoi(level) : kLogFirst, file, false);
  LogPrint(1, "QX5DLL.DLL %s compiled on Jul  8 2010 07:57:34", kDllVersion);
}

}  // namespace

bool initialiseOnDemand() {
  LibraryState& state = library();
  if (state.initialised.load(std::memory_order_acquire)) return true;
  const StateLock lock;
  if (state.initialised.load(std::memory_order_acquire)) return true;
  startLogFromEnvironment();
  QX5_LOG_SCOPE(scope, "QX5Init", "QX5_Init");
  try {
    static DetachAtExit detachAtExit;
    LogPrint(8, "creating a new mchpusb");
    closeAllHandles();
    delete state.deviceList;
    state.deviceList = new mchpusb(createUsbPlatform());
    LogPrint(8, "InitializeVariables");
    InitializeVariables();
    ResetPacketBuffers();
  } catch (...) {
    reportException(scope);
    return false;
  }
  // Set before the guard: only the call that ran the guard sees its refusal.
  state.initialised = true;
  int others = -1;  // a guard that cannot count never refuses
  try {
    others = CountQX5DLL();
  } catch (...) {
    reportException(scope);
  }
  if (others >= 1) {
    scope.Detail("already a process attached to the DLL,... returning false");
    return false;
  }
  PrepareCommandPacket(0);
  return true;
}

}  // namespace qx5::api

bool qx5::exports::QX5Init(void) { return qx5::api::initialiseOnDemand(); }
