// Wall-clock time of day for log line headers.
#pragma once

namespace qx5::platform {

struct LocalTime {
  int year = 0;
  int month = 0;  // 1..12
  int day = 0;
  int hour = 0;
  int minute = 0;
  int second = 0;
  int millisecond = 0;
};

LocalTime localTimeNow();

}  // namespace qx5::platform
