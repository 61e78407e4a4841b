// What every gauge command export gives when the gauge does not answer, when the library was
// never initialised, and when initialisation is refused.
#include <gtest/gtest.h>

#include "api/WireCases.h"

namespace qx5::test {
namespace {

struct FailureCase {
  const char* name;
  std::function<std::string()> call;
  std::string failure;
  bool initialises = true;   // calls QX5Init itself
  bool exchanges = true;     // talks to the gauge at all
  std::string refused = "";  // result when QX5Init refuses, if not `failure`
};

float value = 1.0f;
std::string pair(bool (*read)(float*, float*)) {
  float a = -9, b = -9;
  const bool ok = read(&a, &b);
  return show(ok) + " " + show(a) + " " + show(b);
}

const std::vector<FailureCase>& failureCases() {
  static const std::vector<FailureCase> cases = {
      {"ReadPressure", [] { return show(ReadPressure(0)); }, "-1"},
      {"GetPressure", [] { return pair(GetPressure); }, "false 0 0", true, true, "false -9 -9"},
      {"AcquirePressure",
       [] {
         SAFEARRAYBOUND bound{1, 0};
         SAFEARRAY* a = SafeArrayCreate(VT_R4, 1, &bound);
         SAFEARRAY* b = SafeArrayCreate(VT_R4, 1, &bound);
         const bool ok = AcquirePressure(&a, &b, 1);
         SafeArrayDestroy(a);
         SafeArrayDestroy(b);
         return show(ok);
       },
       "false"},
      {"GetPressureFaster", [] { return pair(GetPressureFaster); }, "false 0 0", false},
      {"ReadCache", [] { return pair(ReadCache); }, "false 0 0", false},
      {"EnableUsbCache", [] { return show(EnableUsbCache(1)); }, "false", false},
      {"GetCacheStatus", [] { return show(GetCacheStatus()); }, "false", false},
      {"GetFlow", [] { return show(GetFlow()); }, "-1", false},
      {"GetTemperature", [] { return show(GetTemperature()); }, "0", false},
      {"SetMode", [] { return show(SetMode(1)); }, "false"},
      {"SetAtMode", [] { return show(SetAtMode(1)); }, "false"},
      {"GetAtMode", [] { return show(GetAtMode()); }, "0"},
      {"SetRange", [] { return show(SetRange(1)); }, "false"},
      {"SetDevice", [] { return show(SetDevice(1)); }, "false"},
      {"GetDeviceName", [] { return show(GetDeviceName()); }, "\"---\"", false},
      {"GetDeviceRange", [] { return show(GetDeviceRange()); }, "\"---\"", false},
      {"GetDeviceRanges", [] { return show(GetDeviceRanges()); }, "\"---\"", false},
      {"ChangeTimeAverage", [] { return show(ChangeTimeAverage()); }, "false"},
      {"TimeAverageMode", [] { return show(TimeAverageMode()); }, "\"---\"", true, true, "null"},
      {"SetTimeAvgOff", [] { return show(SetTimeAvgOff()); }, "false"},
      {"SetAutoZeroOn", [] { return show(SetAutoZeroOn(1)); }, "false"},
      {"SetAutoZeroOff", [] { return show(SetAutoZeroOff(1)); }, "false"},
      {"GetConstN", [] { return show(GetConstN()); }, "0"},
      {"SetConstN", [] { return show(SetConstN(1)); }, "false"},
      {"SetReverseMode", [] { return show(SetReverseMode(1)); }, "false"},
      {"GetReverseModeStatus", [] { return show(GetReverseModeStatus()); }, "false"},
      {"SetRelPresStatus", [] { return show(SetRelPresStatus(1)); }, "false"},
      {"GetRelPresStatus", [] { return show(GetRelPresStatus()); }, "false"},
      {"SetFanSpeed", [] { return show(SetFanSpeed(&value)); }, "false"},
      {"GetFanSpeed", [] { return show(GetFanSpeed()); }, "-1"},
      {"GetFanSpeedPercent", [] { return show(GetFanSpeedPercent()); }, "-1"},
      {"GetFanVersion", [] { return show(GetFanVersion()); }, "0"},
      {"SetFlowPressure", [] { return show(SetFlowPressure(&value)); }, "false"},
      {"SetRoomPressure", [] { return show(SetRoomPressure(&value)); }, "false"},
      {"SetAtPressure", [] { return show(SetAtPressure(1, &value)); }, "false"},
      {"GetAtPressure", [] { return show(GetAtPressure(1)); }, "0"},
      {"SetRoomPIDConstant", [] { return show(SetRoomPIDConstant(1, &value)); }, "false", false},
      {"GetRoomPIDConstant", [] { return show(GetRoomPIDConstant(1)); }, "0", false},
      {"PushButton", [] { return show(PushButton(1)); }, "false"},
      {"EnterSetUp", [] { return show(EnterSetUp()); }, "false"},
      {"Abort", [] { return show(Abort()); }, "false"},
      {"BackLightOn", [] { return show(BackLightOn(1)); }, "false"},
      {"BackLightOff", [] { return show(BackLightOff(1)); }, "false"},
      {"QX5_Off", [] { return show(QX5_Off()); }, "false"},
  };
  return cases;
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
    setGuardedFileName(kMappedByOthers);
    EXPECT_EQ(row.call(), row.refused.empty() ? row.failure : row.refused);
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
