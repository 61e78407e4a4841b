// The logging exports: thin C wrappers over the log facility.
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_export_bodies.h"
#include "qx5dll.h"

bool qx5::exports::LogStart(const char* file, int level) {
  try {
    return qx5::logInit(level, file, false);
  } catch (...) {
    return false;
  }
}

bool qx5::exports::LogInitToStdout(int level, const char* file, bool toStdout) {
  try {
    return qx5::logInit(level, file, toStdout);
  } catch (...) {
    return false;
  }
}

bool qx5::exports::LogStop(void) {
  try {
    qx5::logStop();
  } catch (...) {
  }
  return true;
}

bool qx5::exports::LogMessage(int level, const char* text) {
  try {
    qx5::LogPrint(level, "%s", text ? text : "");
  } catch (...) {
  }
  return true;
}
