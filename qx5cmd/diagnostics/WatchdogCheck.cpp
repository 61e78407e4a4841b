#include "qx5cmd/diagnostics/WatchdogCheck.h"

#include <cstdint>
#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/diagnostics/FirmwareTestCall.h"
#include "qx5cmd/diagnostics/RequiredExports.h"

namespace qx5cmd {

bool aWatchdogTest::bind() {
  return requireExports({{"GetQX5FirmwareVersion", binding().GetQX5FirmwareVersion.get()},
                         {"RunTest", binding().RunTest.get()}});
}

bool aWatchdogTest::run() {
  QX5GetString& version = *binding().GetQX5FirmwareVersion;
  firmwareVersion_ = version.call();
  for (int delay = kWatchdogFirstDelayMs; delay <= kWatchdogLastDelayMs;
       delay += kWatchdogDelayStepMs) {
    out("testing a delay of %dms\n", delay);
    const auto ms = static_cast<std::uint32_t>(delay);
    FirmwareTestOutput output{};
    if (!runFirmwareTest(FirmwareTest::Delay,
                         {static_cast<std::uint8_t>(ms), static_cast<std::uint8_t>(ms >> 8),
                          static_cast<std::uint8_t>(ms >> 16), static_cast<std::uint8_t>(ms >> 24)},
                         output))
      return false;
    // The search takes minutes; Ctrl+C ends it without a verdict.
    if (!sleepUnlessBreak(delay)) return false;
    const std::string now = version.call();
    if (now != firmwareVersion_) {
      out("firmware version \"%s\" became \"%s\": the watchdog tripped\n", firmwareVersion_.c_str(),
          now.c_str());
      return false;
    }
  }
  return true;
}

}  // namespace qx5cmd
