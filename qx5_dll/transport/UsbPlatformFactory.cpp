#include "qx5_dll/transport/UsbPlatformFactory.h"

#include <cstdlib>

#include "gaugesim/SimulatedUsbPlatform.h"
#include "qx5_dll/platform/LibusbPlatform.h"

namespace qx5 {

namespace {
UsbPlatformFactory& factoryOverride() {
  static UsbPlatformFactory factory;
  return factory;
}
}  // namespace

void setUsbPlatformFactory(UsbPlatformFactory factory) { factoryOverride() = std::move(factory); }

std::unique_ptr<UsbPlatform> createUsbPlatform() {
  if (factoryOverride()) return factoryOverride()();
  if (const char* simulation = std::getenv("QX5SIM"))
    return sim::createSimulatedPlatform(simulation);
  return platform::createLibusbPlatform();
}

}  // namespace qx5
