// Choosing the gauge that receives every later command.
#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5_export_bodies.h"
#include "qx5dll.h"

using qx5::reportException;
using qx5::api::library;

// Selection enumerates through the platform; whatever it throws stays in the library.
bool qx5::exports::UsbPort(unsigned char index) {
  qx5::SetLogDeviceTag("[??]");
  QX5_LOG_SCOPE(scope, "UsbPort", "UsbPort %d", index);
  scope.Info("UsbPort %d", index);
  if (!qx5::api::initialiseOnDemand()) return false;
  try {
    qx5::mchpusb* list = library().deviceList;
    if (list && list->SetDeviceInstance(index)) {
      library().currentPort = static_cast<std::int32_t>(list->currentIndex());
      return true;
    }
  } catch (...) {
    reportException(scope);
  }
  library().currentPort = 0;
  scope.Info("Failed to select UsbPort %d", index);
  return false;
}

bool qx5::exports::UsbPortOpen(void) {
  QX5_LOG_SCOPE(scope, "UsbPortOpen", "UsbPortOpen");
  if (!qx5::api::initialiseOnDemand()) return false;
  return UsbPort(static_cast<unsigned char>(library().currentPort & 0xFF));
}

void qx5::exports::UsbPortClose(void) {
  QX5_LOG_SCOPE(scope, "UsbPortClose", "UsbPortClose");
  try {
    if (qx5::api::initialiseOnDemand() && library().deviceList)
      library().deviceList->SetDeviceInstance(0);
  } catch (...) {
    reportException(scope);
  }
}

int32_t qx5::exports::GetDeviceCount(void) {
  QX5_LOG_SCOPE(scope, "GetDeviceCount", "GetDeviceCount");
  if (!qx5::api::initialiseOnDemand() || !library().deviceList) return -1;
  try {
    const auto count = static_cast<std::int32_t>(library().deviceList->UpdateAndGetDeviceCount());
    scope.Info("count = %d", count);
    return count;
  } catch (...) {
    reportException(scope);
  }
  return -1;
}
