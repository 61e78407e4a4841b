// The USB platform on Linux and other POSIX systems: libusb-1.0, bound at run time.
#pragma once

#include <memory>
#include <string>

#include "qx5_dll/usb/UsbPlatform.h"

namespace qx5::usb {

inline constexpr const char* kLibusbFileName = "libusb-1.0.so.0";

// Never null. When the library or one of its functions is missing the binding is incomplete:
// it enumerates nothing and fails every call, but the caller keeps running.
std::unique_ptr<UsbPlatform> createLibusbPlatform(
    const std::string& libraryFileName = kLibusbFileName);

// Interface path of a USB device as the transport filters it: bus and port chain, then the
// vendor and product identifiers in lower-case hex, e.g. "usb#vid_04d8&pid_000c#1-4.2#{...}".
std::string libusbInterfacePath(unsigned bus, const std::string& portChain, unsigned vendorId,
                                unsigned productId);

}  // namespace qx5::usb
