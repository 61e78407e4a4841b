#include "qx5cmd/diagnostics/CheckRanges.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/diagnostics/RequiredExports.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

void printQuoted(const char* label, const std::string& text) {
  out("%s = \"%s\"\n", label, text.c_str());
}

bool walkRanges(const RangeWalkGauge& gauge) {
  const std::string first = gauge.deviceRange();
  std::string range = first;
  for (int count = 0; count < kMaxRangesPerDevice; ++count) {
    printQuoted("range", range);
    if (breakRequested()) return false;
    gauge.pushButton(kRangeButton);
    range = gauge.deviceRange();
    if (range == first) return true;
  }
  out("stopped after %d ranges: the range never came back to \"%s\"\n", kMaxRangesPerDevice,
      first.c_str());
  return false;
}

}  // namespace

bool walkDevicesAndRanges(const RangeWalkGauge& gauge) {
  const std::string first = gauge.deviceName();
  std::string device = first;
  for (int count = 0; count < kMaxDevices; ++count) {
    printQuoted("device", device);
    printQuoted("ranges", gauge.deviceRanges());
    if (!walkRanges(gauge)) return false;
    gauge.pushButton(kDeviceButton);
    device = gauge.deviceName();
    if (device == first) return true;
  }
  out("stopped after %d devices: the device never came back to \"%s\"\n", kMaxDevices,
      first.c_str());
  return false;
}

bool aCheckRanges::bind() {
  LibraryBinding& library = binding();
  return requireExports({{"GetDeviceName", library.GetDeviceName.get()},
                         {"GetDeviceRanges", library.GetDeviceRanges.get()},
                         {"GetDeviceRange", library.GetDeviceRange.get()},
                         {"PushButton", library.PushButton.get()}});
}

bool aCheckRanges::run() {
  LibraryBinding& library = binding();
  RangeWalkGauge gauge{
      [&] { return library.GetDeviceName->call(); },
      [&] { return library.GetDeviceRanges->call(); },
      [&] { return library.GetDeviceRange->call(); },
      [&](int button) { library.PushButton->call(static_cast<std::uint8_t>(button)); },
  };
  return walkDevicesAndRanges(gauge);
}

}  // namespace qx5cmd
