#include "qx5cmd/firmware/StationRecord.h"

#include <mutex>

#include "qx5cmd/charts/OutputFiles.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {
namespace {

// A CSV field: quoted, quotes doubled, line breaks flattened so that one gauge is one line.
std::string quoted(const std::string& text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"') out += '"';
    out += (c == '\n' || c == '\r') ? ' ' : c;
  }
  return out + '"';
}

}  // namespace

const char* const kStationRecordHeader =
    "time,serial,firmware_before,firmware_after,eeprom_layout,result,seconds,failure\n";

std::string stationRecordFileName(const std::string& time) {
  return "station_" + time.substr(0, time.find(' ')) + ".csv";
}

std::string stationRecordLine(const StationRecordEntry& entry) {
  return quoted(entry.time) + format(",%d,", entry.serial) + quoted(entry.firmwareBefore) + ',' +
         quoted(entry.firmwareAfter) + format(",%d,", entry.eepromLayout) + quoted(entry.result) +
         format(",%.1f,", entry.seconds) + quoted(entry.failure) + '\n';
}

void appendStationRecord(const StationRecordEntry& entry) {
  // Gauges upgraded at once (-j) append one at a time: a new day's file gets one header.
  static std::mutex appending;
  std::lock_guard lock(appending);
  const std::string path = stationRecordFileName(entry.time);
  std::string why;
  if (!charts::appendLine(path, stationRecordLine(entry), kStationRecordHeader, why))
    charts::reportUnwritable(path, why);
}

}  // namespace qx5cmd
