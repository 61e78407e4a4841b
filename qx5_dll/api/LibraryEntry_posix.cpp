// What the platform's entry point does on attach and detach, as library constructor and
// destructor. Thread attach and detach have no counterpart here.
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"

namespace {

__attribute__((constructor)) void attachProcess() {
  qx5::LogPrint(4, "DLLMain:DLL_PROCESS_ATTACH");
}

// Usually a no-op: the first initialisation arranged an earlier detach (see initialiseOnDemand).
__attribute__((destructor)) void detachProcess() { qx5::api::DetachProcess(); }

}  // namespace
