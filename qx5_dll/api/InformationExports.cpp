// Exports that answer without talking to a gauge.
#include <string>

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5dll.h"

QX5_API BSTR QX5_CALL GetErrorMessage(void) {
  const qx5::api::ExportLock exportLock;
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

QX5_API BSTR QX5_CALL GetDLLVersion(void) {
  const qx5::api::ExportLock exportLock;
  QX5_LOG_SCOPE(scope, "GetDLLVersion", "GetDLLVersion returning %s", qx5::api::kDllVersion);
  return qx5::api::makeBstr(qx5::api::kDllVersion);
}

// C++ linkage on purpose: exported under its decorated name.
QX5_EXPORT unsigned char QX5_CALL GetMaxDevice() {
  const qx5::api::ExportLock exportLock;
  qx5::LogPrint(8, "GetMaxDevice");
  return qx5::api::library().maxDevice;
}

QX5_API unsigned char QX5_CALL GetMaxRange(void) {
  const qx5::api::ExportLock exportLock;
  qx5::LogPrint(8, "GetMaxRange");
  return qx5::api::library().maxRange;
}

QX5_API bool QX5_CALL AllVidPidSame(void) {
  const qx5::api::ExportLock exportLock;
  return true;
}
