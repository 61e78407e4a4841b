// The DLL's entry point: process attach and detach do what the library constructor and
// destructor do elsewhere. Thread attach and detach need nothing.
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"

namespace {
// The loader's reasons, spelled out so this file needs no OS header.
constexpr unsigned long kProcessDetach = 0;
constexpr unsigned long kProcessAttach = 1;
}  // namespace

extern "C" int __stdcall DllMain(void* /*module*/, unsigned long reason, void* /*reserved*/) {
  if (reason == kProcessAttach) qx5::LogPrint(4, "DLLMain:DLL_PROCESS_ATTACH");
  // Usually a no-op: the first initialisation arranged an earlier detach (see initialiseOnDemand).
  if (reason == kProcessDetach) qx5::api::DetachProcess();
  return 1;
}
