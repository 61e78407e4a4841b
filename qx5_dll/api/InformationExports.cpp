// Exports that answer without talking to a gauge.
#include <string>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5dll.h"

BSTR qx5::exports::GetErrorMessage(void) {
  try {
    const std::string text = qx5::ErrorText();
    qx5::LogPrint(text.empty() ? 8 : 4, "GetErrorMessage=\"%s\"", text.c_str());
    BSTR result = qx5::api::makeBstr(text);
    qx5::TakeErrorText();
    return result;
  } catch (...) {
    return nullptr;
  }
}

BSTR qx5::exports::GetDLLVersion(void) {
  QX5_LOG_SCOPE(scope, "GetDLLVersion", "GetDLLVersion returning %s", qx5::api::kDllVersion);
  return qx5::api::makeBstr(qx5::api::kDllVersion);
}

// C++ linkage on purpose: exported under its decorated name.
unsigned char qx5::exports::GetMaxDevice() {
  qx5::LogPrint(8, "GetMaxDevice");
  return qx5::api::call().remembered().maxDevice;
}

unsigned char qx5::exports::GetMaxRange(void) {
  qx5::LogPrint(8, "GetMaxRange");
  return qx5::api::call().remembered().maxRange;
}

bool qx5::exports::AllVidPidSame(void) { return true; }
