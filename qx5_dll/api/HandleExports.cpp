// Opening and closing a handle for one gauge; the twins that use it are generated.
#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/GaugeHandles.h"
#include "qx5_dll/transport/mchpusb.h"
#include "qx5_export_bodies.h"

std::int32_t qx5::exports::QX5GaugeOpen(std::int32_t index) {
  QX5_LOG_SCOPE(scope, "QX5GaugeOpen", "QX5GaugeOpen %d", index);
  if (!qx5::api::initialiseOnDemand()) return 0;
  try {
    qx5::mchpusb* list = qx5::api::library().deviceList;
    if (!list || !list->bindingValid()) {
      scope.Error("no USB platform to reach the gauges");
      return 0;
    }
    if (list->deviceCount() == 0) list->UpdateDeviceList();
    if (index < 0 || static_cast<std::uint32_t>(index) >= list->deviceCount()) {
      scope.Error("no gauge %d: %u attached", index, list->deviceCount());
      return 0;
    }
    const std::int32_t handle = qx5::api::openHandle(list->deviceShared(index));
    if (handle == 0) scope.Error("no handle left: every number was handed out once");
    scope.Info("QX5GaugeOpen %d = %d", index, handle);
    return handle;
  } catch (...) {
    qx5::reportException(scope);
  }
  return 0;
}

bool qx5::exports::QX5GaugeClose(std::int32_t gauge) {
  QX5_LOG_SCOPE(scope, "QX5GaugeClose", "QX5GaugeClose %d", gauge);
  if (qx5::api::closeHandle(gauge)) return true;
  scope.Error("gauge handle %d is not open", gauge);
  return false;
}
