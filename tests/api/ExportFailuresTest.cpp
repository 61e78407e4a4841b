// What every gauge command export gives when the gauge does not answer, when the library was
// never initialised, and when initialisation is refused.
#include <gtest/gtest.h>

#include "api/ExportCalls.h"
#include "api/WireCases.h"

namespace qx5::test {
namespace {

// The pressure, mode and fan exports, with what the shared call rows do not say: whether the
// export initialises the library itself, and its result when initialisation is refused where
// that differs from its failure value.
struct FailureFacts {
  const char* name;
  bool initialises = true;
  const char* refused = nullptr;
};
const FailureFacts kFacts[] = {
    {"ReadPressure"},
    {"GetPressure", true, "false -9 -9"},
    {"AcquirePressure"},
    {"GetPressureFaster", false},
    {"ReadCache", false},
    {"EnableUsbCache", false},
    {"GetCacheStatus", false},
    {"GetFlow", false},
    {"GetTemperature", false},
    {"SetMode"},
    {"SetAtMode"},
    {"GetAtMode"},
    {"SetRange"},
    {"SetDevice"},
    {"GetDeviceName", false},
    {"GetDeviceRange", false},
    {"GetDeviceRanges", false},
    {"ChangeTimeAverage"},
    {"TimeAverageMode", true, "null"},
    {"SetTimeAvgOff"},
    {"SetAutoZeroOn"},
    {"SetAutoZeroOff"},
    {"GetConstN"},
    {"SetConstN"},
    {"SetReverseMode"},
    {"GetReverseModeStatus"},
    {"SetRelPresStatus"},
    {"GetRelPresStatus"},
    {"SetFanSpeed"},
    {"GetFanSpeed"},
    {"GetFanSpeedPercent"},
    {"GetFanVersion"},
    {"SetFlowPressure"},
    {"SetRoomPressure"},
    {"SetAtPressure"},
    {"GetAtPressure"},
    {"SetRoomPIDConstant", false},
    {"GetRoomPIDConstant", false},
    {"PushButton"},
    {"EnterSetUp"},
    {"Abort"},
    {"BackLightOn"},
    {"BackLightOff"},
    {"QX5_Off"},
};

struct FailureCase {
  const char* name;
  std::function<std::string()> call;
  std::string failure;
  bool initialises;
  std::string refused;  // result when QX5Init refuses
};

const std::vector<FailureCase>& failureCases() {
  static const std::vector<FailureCase> cases = [] {
    std::vector<FailureCase> joined;
    for (const FailureFacts& facts : kFacts)
      for (const ExportCall& row : exportCalls())
        if (std::string(row.name) == facts.name)
          joined.push_back({row.name, row.call, row.failure, facts.initialises,
                            facts.refused ? facts.refused : row.failure});
    return joined;
  }();
  return cases;
}

TEST(ExportFailures, EveryExportNamedHasACallRow) {
  EXPECT_EQ(failureCases().size(), std::size(kFacts));
}

TEST(ExportFailures, SilentGaugeGivesTheFailureValues) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.silence();
  for (const FailureCase& row : failureCases()) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(row.call(), row.failure);
    EXPECT_FALSE(sim.sent().empty());
    const BSTR errors = GetErrorMessage();
    EXPECT_NE(show(errors).find("error reading data"), std::string::npos);
  }
}

TEST(ExportFailures, EarlyExportsNeedAnEarlierInitialisation) {
  for (const FailureCase& row : failureCases()) {
    if (row.initialises) continue;
    SCOPED_TRACE(row.name);
    SimulatedLibrary sim;
    EXPECT_EQ(row.call(), row.failure);
    EXPECT_FALSE(api::library().initialised);
  }
}

// Another process mapping the guarded file makes the first initialisation refuse: the C
// library (on Windows the kernel's DLL) is mapped by the process that started this one.
#if defined(_WIN32)
constexpr const char* kMappedByOthers = "kernel32.dll";
#else
constexpr const char* kMappedByOthers = "libc.so.6";
#endif

TEST(ExportFailures, RefusedInitialisationGivesTheFailureValuesUntouched) {
  for (const FailureCase& row : failureCases()) {
    if (!row.initialises) continue;
    SCOPED_TRACE(row.name);
    SimulatedLibrary sim;
    setGuardSeesThisProcessOnly(false);
    setGuardedFileName(kMappedByOthers);
    EXPECT_EQ(row.call(), row.refused);
    EXPECT_TRUE(sim.sent().empty());
  }
}

TEST(ExportFailures, NoValueToSendIsRefusedWithoutSending) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  EXPECT_FALSE(SetFanSpeed(nullptr));
  EXPECT_FALSE(SetFlowPressure(nullptr));
  EXPECT_FALSE(SetRoomPressure(nullptr));
  EXPECT_FALSE(SetAtPressure(1, nullptr));
  EXPECT_FALSE(SetRoomPIDConstant(1, nullptr));
  EXPECT_TRUE(sim.sent().empty());
}

}  // namespace
}  // namespace qx5::test
