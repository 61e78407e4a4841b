// Which USB platform the device list gets: the simulated gauges when QX5SIM is set, libusb
// otherwise.
#pragma once

#include <functional>
#include <memory>

#include "qx5_dll/transport/UsbPlatform.h"

namespace qx5 {

std::unique_ptr<UsbPlatform> createUsbPlatform();

// Replaces the choice for every later device list (tests); an empty factory restores it.
using UsbPlatformFactory = std::function<std::unique_ptr<UsbPlatform>()>;
void setUsbPlatformFactory(UsbPlatformFactory factory);

}  // namespace qx5
