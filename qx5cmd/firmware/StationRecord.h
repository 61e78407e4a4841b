// The upgrade station's record: one line per gauge handled in station_<date>.csv in the current
// folder, so a day's bench leaves a record of which gauge got which firmware, when, and whether
// it worked, that outlives the console.
#pragma once

#include <string>

namespace qx5cmd {

struct StationRecordEntry {
  std::string time;  // local "YYYY-MM-DD HH:MM:SS" when the gauge was taken on
  int serial = -1;
  std::string firmwareBefore;
  std::string firmwareAfter;  // empty when the gauge did not come back running firmware
  int eepromLayout = 0;
  std::string result;  // "upgraded", "already current", "settings saved" or "failed"
  double seconds = 0;
  std::string failure;  // what went wrong; empty when it worked
};

extern const char* const kStationRecordHeader;

// "station_<date>.csv" for the date part of `time`.
std::string stationRecordFileName(const std::string& time);
std::string stationRecordLine(const StationRecordEntry& entry);

// Appends the entry to its day's file; a record that cannot be written is said once on
// standard error.
void appendStationRecord(const StationRecordEntry& entry);

}  // namespace qx5cmd
