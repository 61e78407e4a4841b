// The USB platform on Windows: SetupAPI enumerates the gauge's device interface, WinUSB carries
// the packets. Both are bound at run time, so the library loads where either is missing.
#pragma once

#include <memory>

#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5::usb {

inline constexpr const char* kSetupApiFileName = "SETUPAPI.DLL";
inline constexpr const char* kWinUsbFileName = "WINUSB.DLL";

// Never null. When a library or one of its functions is missing the binding is incomplete:
// it enumerates nothing and fails every call, but the caller keeps running.
std::unique_ptr<UsbPlatform> createWinUsbPlatform();

}  // namespace qx5::usb
