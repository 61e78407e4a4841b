// On-demand initialisation: logging from the environment, the device list, the guard.
#include <cstdlib>

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5dll.h"

namespace {

// Detaches before the log facility's statics go away at exit: created on the first
// initialisation, long after they were, so it is destroyed before them.
struct DetachAtExit {
  ~DetachAtExit() { qx5::api::DetachProcess(); }
};

void startLogFromEnvironment() {
  if (qx5::logLevel() >= 0) return;
  const char* file = std::getenv("QX5LOGFILE");
  if (!file) return;
  const char* level = std::getenv("QX5LOGLEVEL");
  qx5::logInit(level ? std::atoi(level) : qx5::kLogFirst, file, false);
  qx5::LogPrint(1, "QX5DLL.DLL %s compiled on Jul  8 2010 07:57:34", qx5::api::kDllVersion);
}

}  // namespace

QX5_API bool QX5_CALL QX5Init(void) {
  using namespace qx5::api;
  LibraryState& state = library();
  if (state.initialised) return true;
  startLogFromEnvironment();
  QX5_LOG_SCOPE(scope, "QX5Init", "QX5_Init");
  try {
    static DetachAtExit detachAtExit;
    qx5::LogPrint(8, "creating a new mchpusb");
    delete state.deviceList;
    state.deviceList = new qx5::mchpusb();
    qx5::LogPrint(8, "InitializeVariables");
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
    others = qx5::CountQX5DLL();
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
