// The logging exports: thin C wrappers over the log facility.
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5dll.h"

QX5_API bool QX5_CALL LogStart(const char* file, int level) {
  const qx5::api::ExportLock exportLock;
  try {
    return qx5::logInit(level, file, false);
  } catch (...) {
    return false;
  }
}

QX5_API bool QX5_CALL LogInitToStdout(int level, const char* file, bool toStdout) {
  const qx5::api::ExportLock exportLock;
  try {
    return qx5::logInit(level, file, toStdout);
  } catch (...) {
    return false;
  }
}

QX5_API bool QX5_CALL LogStop(void) {
  const qx5::api::ExportLock exportLock;
  try {
    qx5::logStop();
  } catch (...) {
  }
  return true;
}

QX5_API bool QX5_CALL LogMessage(int level, const char* text) {
  const qx5::api::ExportLock exportLock;
  try {
    qx5::LogPrint(level, "%s", text ? text : "");
  } catch (...) {
  }
  return true;
}
