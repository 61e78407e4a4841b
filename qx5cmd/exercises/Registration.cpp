#include "qx5cmd/exercises/Registration.h"

#include "qx5cmd/exercises/GenericTests.h"
#include "qx5cmd/exercises/Goto.h"
#include "qx5cmd/exercises/LcdCapture.h"

namespace qx5cmd {
namespace {

struct Row {
  const char* name;
  std::unique_ptr<aTest> (*make)(const char* name, const char* description);
  const char* description;
  bool developerOnly;
};

template <class T>
std::unique_ptr<aTest> make(const char* name, const char* description) {
  return std::make_unique<T>(name, description);
}

constexpr const char* kGotoDescription =
    "request a room pressure and wait for it to achieve that pressure +/- accuracy for the "
    "specified duration.\n"
    "      or cancel after the specified timeout e.g.\n"
    "      sample the room pressure for some seconds after achieving the room pressure. e.g.\n"
    "      goto 20 1 60 2 30 means wait for pressure to reach 19 to 21 kPa for 60 seconds, "
    "timeout after 2 minutes, sample for 30 seconds";

// Registry order is usage-text order.
const Row kRows[] = {
    {"GetSerialNumber", make<aGetInt>, "", false},
    {"GetPressure", make<aGetPressure>, "", false},
    {"GetPressureFaster", make<aGetPressure>, "", false},
    {"GetFanSpeed", make<aGetFloat>, "", false},
    {"GetFanSpeedPercent", make<aGetFloat>, "", false},
    {"GetFlow", make<aGetFloat>, "", false},
    {"GetQX5FirmwareVersion", make<aGetString>, "", false},
    {"GetUSBCPUVersion", make<aGetString>, "", false},
    {"ResetUSBCPU", make<aGetBool>, "", false},
    {"GetDLLVersion", make<aGetString>, "", false},
    {"GetDeviceName", make<aGetString>, "", false},
    {"GetDeviceRange", make<aGetString>, "", false},
    {"GetDeviceRanges", make<aGetString>, "", false},
    {"GetCalibrationDate", make<aGetString>, "", false},
    {"TimeAverageMode", make<aGetString>, "get the Time Averaging Mode", false},
    {"SetRange", make<aSetByte>, "", false},
    {"SetFanSpeed", make<aSetFloat>, "", false},
    {"SetRoomPressure", make<aSetFloat>, "", false},
    {"SetCompanyName", make<aSetString>, "", false},
    {"PushButton", make<aSetByte>, "", false},
    {"SetSerialNumber", make<aSetPInt>, "", true},
    {"SetDate", make<aGetBool>, "", true},
    {"TickRate", make<aTickRate>, "Calculate tick rate", false},
    {"Wait", make<aWait>, "wait for the specified number of seconds", false},
    {"lcd", make<aGetLcd>, "get the contents of the lcd", false},
    {"Goto", make<aGoto>, kGotoDescription, false},
};

}  // namespace

void registerMeasurementTests(TestRegistry& registry) {
  bool developer = developerUser();
  for (const Row& row : kRows) {
    if (row.developerOnly && !developer) continue;
    registry.add(row.make(row.name, row.description));
  }
}

}  // namespace qx5cmd
