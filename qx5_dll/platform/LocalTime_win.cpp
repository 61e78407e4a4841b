#include <windows.h>

#include "qx5_dll/platform/LocalTime.h"

namespace qx5::platform {

LocalTime localTimeNow() {
  SYSTEMTIME now{};
  GetLocalTime(&now);
  LocalTime t;
  t.year = now.wYear;
  t.month = now.wMonth;
  t.day = now.wDay;
  t.hour = now.wHour;
  t.minute = now.wMinute;
  t.second = now.wSecond;
  t.millisecond = now.wMilliseconds;
  return t;
}

}  // namespace qx5::platform
