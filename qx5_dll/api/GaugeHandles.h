// The handle table: QX5GaugeOpen's numbers, each naming one gauge of the device list. A number
// is never reused, so a stale handle can only be refused, never reach another gauge.
#pragma once

#include <cstdint>
#include <memory>

#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/transport/DeviceData.h"

namespace qx5::api {

struct GaugeHandle {
  std::shared_ptr<DEVICE_DATA> gauge;
  Remembered remembered;
};

// A handle for `gauge`, greater than 0. Under the state lock.
std::int32_t openHandle(std::shared_ptr<DEVICE_DATA> gauge);
// False when `handle` is not open.
bool closeHandle(std::int32_t handle);
// The open handle's record, null for any other number. Any thread; the record stays valid for
// the caller even when another thread closes the handle meanwhile.
std::shared_ptr<GaugeHandle> findHandle(std::int32_t handle);
// Closes every handle (the device list is going away).
void closeAllHandles();

}  // namespace qx5::api
