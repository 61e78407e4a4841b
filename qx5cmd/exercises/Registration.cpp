#include "qx5cmd/exercises/Registration.h"

#include "qx5cmd/exercises/GenericExercises.h"
#include "qx5cmd/exercises/Goto.h"
#include "qx5cmd/exercises/LcdCapture.h"

namespace qx5cmd {
namespace {

constexpr const char* kGotoDescription =
    "request a room pressure and wait for it to achieve that pressure +/- accuracy for the "
    "specified duration.\n"
    "      or cancel after the specified timeout e.g.\n"
    "      sample the room pressure for some seconds after achieving the room pressure. e.g.\n"
    "      goto 20 1 60 2 30 means wait for pressure to reach 19 to 21 kPa for 60 seconds, "
    "timeout after 2 minutes, sample for 30 seconds";

// Registry order is usage-text order.
const TestRow kRows[] = {
    {"GetSerialNumber", makeTest<aGetInt>, "", false},
    {"GetPressure", makeTest<aGetPressure>, "", false},
    {"GetPressureFaster", makeTest<aGetPressure>, "", false},
    {"GetFanSpeed", makeTest<aGetFloat>, "", false},
    {"GetFanSpeedPercent", makeTest<aGetFloat>, "", false},
    {"GetFlow", makeTest<aGetFloat>, "", false},
    {"GetQX5FirmwareVersion", makeTest<aGetString>, "", false},
    {"GetUSBCPUVersion", makeTest<aGetString>, "", false},
    {"ResetUSBCPU", makeTest<aGetBool>, "", false},
    {"GetDLLVersion", makeTest<aGetString>, "", false},
    {"GetDeviceName", makeTest<aGetString>, "", false},
    {"GetDeviceRange", makeTest<aGetString>, "", false},
    {"GetDeviceRanges", makeTest<aGetString>, "", false},
    {"GetCalibrationDate", makeTest<aGetString>, "", false},
    {"TimeAverageMode", makeTest<aGetString>, "get the Time Averaging Mode", false},
    {"SetRange", makeTest<aSetByte>, "", false},
    {"SetFanSpeed", makeTest<aSetFloat>, "", false},
    {"SetRoomPressure", makeTest<aSetFloat>, "", false},
    {"SetCompanyName", makeTest<aSetString>, "", false},
    {"PushButton", makeTest<aSetByte>, "", false},
    {"SetSerialNumber", makeTest<aSetPInt>, "", true},
    {"SetDate", makeTest<aGetBool>, "", true},
    {"TickRate", makeTest<aTickRate>, "Calculate tick rate", false},
    {"Wait", makeTest<aWait>, "wait for the specified number of seconds", false},
    {"lcd", makeTest<aGetLcd>, "get the contents of the lcd", false},
    {"Goto", makeTest<aGoto>, kGotoDescription, false},
};

}  // namespace

void registerMeasurementTests(TestRegistry& registry) { registerRows(registry, kRows); }

}  // namespace qx5cmd
