#include "qx5cmd/diagnostics/BatteryMonitor.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/diagnostics/BatteryChart.h"
#include "qx5cmd/diagnostics/RequiredExports.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

constexpr int kStatusLineWidth = 29;

const char* powerText(const BatterySample& sample) { return sample.mains ? "A/C" : "off"; }
const char* chargeText(const BatterySample& sample) { return sample.charging ? "charging" : "off"; }

}  // namespace

BatterySample decodeBatterySample(const FirmwareTestOutput& output) {
  return {u16At(output, 0), output[2] != 0, output[3] != 0};
}

std::string batteryLogFileName(int serial) { return format("battery_test_%d.csv", serial); }

std::string batteryCsvLine(const std::string& time, const BatterySample& sample) {
  return format("\"%s\",\"%d\",\"%s\",\"%s\"\n", time.c_str(), sample.reading, powerText(sample),
                chargeText(sample));
}

std::string batteryStatusLine(const std::string& time, const BatterySample& sample) {
  return format("%s %7d %3s %8s", time.c_str(), sample.reading, powerText(sample),
                chargeText(sample)) +
         std::string(kStatusLineWidth, '\b');
}

std::string batteryConsoleLine(const std::string& time, const BatterySample& sample) {
  return format("%s %7d %s %s\n", time.c_str(), sample.reading, powerText(sample),
                chargeText(sample));
}

bool aBatteryMonitor::bind() {
  return requireExports(
      {{"GetSerialNumber", binding().GetSerialNumber.get()}, {"RunTest", binding().RunTest.get()}});
}

bool aBatteryMonitor::run() {
  const int serial = binding().GetSerialNumber->call();
  const std::string fileName = batteryLogFileName(serial);
  FirmwareTestOutput output{};
  if (!runFirmwareTest(FirmwareTest::Battery, {0}, output)) {
    out("%s: the gauge gave no battery sample\n", name);
    return false;
  }
  const BatterySample sample = decodeBatterySample(output);
  const std::string time = platform::localTimeText("%H:%M:%S");
  std::FILE* file = std::fopen(fileName.c_str(), "a");
  bool logged = false;
  if (file) {
    const std::string line = batteryCsvLine(time, sample);
    logged = std::fputs(line.c_str(), file) >= 0;
    logged = std::fclose(file) == 0 && logged;
  }
  if (logged) {
    outText(batteryStatusLine(time, sample).c_str());
    drawBatteryChart(fileName, batteryChartFileName(serial), format("Battery of gauge %d", serial));
  } else {
    if (unwritableReported_.insert(fileName).second)
      out("can't append to %s: samples follow here\n", fileName.c_str());
    outText(batteryConsoleLine(time, sample).c_str());
  }
  outFlush();
  return true;
}

}  // namespace qx5cmd
