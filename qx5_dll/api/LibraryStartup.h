// The library's start-up: on-demand initialisation, and the one place that decides what reaches
// the gauges (the simulated gauges when QX5SIM is set, the real bus otherwise).
#pragma once

#include <functional>
#include <memory>

#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5 {

// The platform for a new device list: the test override when one is set, else QX5SIM or libusb.
std::unique_ptr<UsbPlatform> createUsbPlatform();

// Replaces the choice for every later device list (tests, benchmarks); an empty factory
// restores it.
using UsbPlatformFactory = std::function<std::unique_ptr<UsbPlatform>()>;
void setUsbPlatformFactory(UsbPlatformFactory factory);

}  // namespace qx5

namespace qx5::api {

// What QX5Init does: true at once when initialised; otherwise logging from the environment, the
// device list, the process guard (whose refusal only this call sees).
bool initialiseOnDemand();

}  // namespace qx5::api
