// Every export that talks to a gauge against every misbehaviour the simulated gauge can show:
// a failed exchange always gives the export's failure value and an error text, never success;
// a fault the transport tolerates changes nothing. Under the sanitizer build this also runs
// every decoder on every kind of broken reply.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <sstream>

#include "api/ExportCalls.h"
#include "gaugesim/model/Faults.h"
#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

enum class Expect { Fails, AsHealthy };

struct Fault {
  std::string name;       // as a .gauge file names it
  long unplugAfter = -1;  // packets of the export that still get through
};

struct Observed {
  std::string result;
  std::string errors;
  std::size_t packets = 0;  // written by the export
};

std::string takeErrors() {
  BSTR text = GetErrorMessage();
  std::string errors = bstrBytes(text);
  SysFreeString(text);
  return errors;
}

std::size_t written(const std::vector<TracedPacket>& trace) {
  return static_cast<std::size_t>(std::count_if(
      trace.begin(), trace.end(), [](const TracedPacket& p) { return p.direction == '>'; }));
}

// One call on a freshly opened gauge that shows `fault` from then on (none when empty).
Observed callWithFault(const ExportCall& row, const Fault& fault) {
  SimulatedLibrary sim;
  EXPECT_EQ(GetDeviceCount(), 1);
  EXPECT_TRUE(UsbPort(0));
  const std::size_t opening = written(sim.takeTrace());
  if (!fault.name.empty()) {
    auto gauge = sim.gauge();
    sim::GaugeConfig config = gauge->config();
    std::string error;
    const std::string faultText =
        fault.unplugAfter >= 0 ? "unplug-after=" + std::to_string(opening + fault.unplugAfter)
                               : fault.name;
    EXPECT_TRUE(sim::parseFaults(faultText, config.faults, error)) << error;
    gauge->reconfigure(config);
  }
  // A read that finds nothing gives up at once rather than after the pipe's two seconds.
  sim::SimulatedUsbPlatform::setTimeoutCeilingMs(10);
  takeErrors();
  Observed observed;
  observed.result = row.call();
  observed.errors = takeErrors();
  observed.packets = written(sim.takeTrace());
  return observed;
}

std::vector<Fault> faults() {
  std::vector<Fault> list = {
      {"silent"}, {"short"},        {"mismatch"},     {"mismatch-once"},
      {"echo6"},  {"refuse-write"}, {"refuse-erase"}, {"chipset-in-bootloader-only"}};
  for (long n : {0, 1, 2, 3, 5}) list.push_back({"unplug-after", n});
  return list;
}

Expect expected(const ExportCall& row, const Fault& fault, const Observed& healthy) {
  if (fault.unplugAfter >= 0)
    return healthy.packets <= static_cast<std::size_t>(fault.unplugAfter) ? Expect::AsHealthy
                                                                          : Expect::Fails;
  static const std::map<std::string, std::string> refusedBy = {
      {"refuse-write", "DownloadMemory"},
      {"refuse-erase", "EraseMemory"},
      {"chipset-in-bootloader-only", "GetChipset"}};
  if (auto only = refusedBy.find(fault.name); only != refusedBy.end())
    return row.name == only->second ? Expect::Fails : Expect::AsHealthy;
  // The transport accepts the legacy echo and retries a wrong echo once.
  if (fault.name == "echo6" || fault.name == "mismatch-once") return Expect::AsHealthy;
  if (row.answer == Answer::None) return Expect::AsHealthy;
  // The version bytes come before the echo and within the 7 bytes of a short reply.
  if (row.answer == Answer::Version && fault.name != "silent") return Expect::AsHealthy;
  return Expect::Fails;
}

TEST(FaultMatrix, EveryExchangingExportAgainstEveryFault) {
  int cells = 0;
  for (const ExportCall& row : exportCalls()) {
    SCOPED_TRACE(row.name);
    const Observed healthy = callWithFault(row, {});
    ASSERT_EQ(healthy.errors, "") << "needs a call that succeeds on a healthy gauge";
    // Where a healthy answer looks like the failure value only the error text tells them apart.
    const bool distinct = healthy.result != row.failure;
    ASSERT_GT(healthy.packets, 0u);
    for (const Fault& fault : faults()) {
      SCOPED_TRACE(fault.name + (fault.unplugAfter >= 0 ? std::to_string(fault.unplugAfter) : ""));
      const Observed seen = callWithFault(row, fault);
      ++cells;
      if (expected(row, fault, healthy) == Expect::AsHealthy) {
        EXPECT_EQ(seen.errors, "");
        if (distinct) {
          EXPECT_NE(seen.result, row.failure);
        }
        continue;
      }
      EXPECT_NE(seen.errors, "");
      // An export made of several exchanges may keep what its first ones brought (the device
      // walk); one whose first exchange failed has nothing but its failure value.
      const bool partial = fault.unplugAfter > 0;
      if (!partial || healthy.packets == 1) {
        EXPECT_EQ(seen.result, row.failure);
      }
    }
  }
  EXPECT_EQ(cells, static_cast<int>(exportCalls().size() * faults().size()));
}

// The matrix covers the export table: every built export is called there or exchanges nothing.
TEST(FaultMatrix, CoversEveryExportOfTheTable) {
  std::ifstream table(QX5_SOURCE_DIR "/qx5_dll/api/export_table.txt");
  ASSERT_TRUE(table);
  std::set<std::string> called;
  for (const ExportCall& row : exportCalls()) called.insert(row.name);
  std::set<std::string> built;
  std::string line;
  while (std::getline(table, line)) {
    std::istringstream fields(line);
    std::string ordinal, name, state, frame;
    if (!(fields >> ordinal >> name >> state >> frame) || ordinal[0] == '#' || state != "yes")
      continue;
    // A twin runs its export's body, and the handle exports are covered by the handle tests.
    if (frame == "twin" || name.rfind("QX5Gauge", 0) == 0) continue;
    built.insert(name);
    EXPECT_TRUE(called.count(name) + exportsWithoutExchange().count(name) == 1) << name;
  }
  for (const std::string& name : called) EXPECT_TRUE(built.count(name)) << name;
  EXPECT_GT(built.size(), 90u);
}

}  // namespace
}  // namespace qx5::test
