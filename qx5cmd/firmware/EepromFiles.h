// The files kept in the working folder for one settings image (live or defaults) of one gauge:
// backups, never overwritten, and a record of a write to the gauge that has not been confirmed.
//
// The first backup is "<label>.<serial>.hex"; a later copy that differs from the newest backup
// is added as "<label>.<serial>.<n>.hex" (n = 1, 2, ...), so no copy the gauge ever held is lost.
// "<label>.<serial>.writing.hex" holds the image being written to the gauge from just before the
// first byte goes out until it has been read back equal: a half-written image can look valid
// (the image has no checksum), so a run that finds the record finishes the write from it
// instead of trusting the gauge.
#pragma once

#include <string>

#include "qx5cmd/firmware/Eeprom.h"

namespace qx5cmd {

class EepromFiles {
 public:
  // For the gauge and label of `image`.
  explicit EepromFiles(const EEPROM& image);

  // The newest backup's file name; empty when there is none.
  std::string newestBackup() const;
  // Backs a valid image up unless the newest backup holds the same bytes, saying which file
  // holds it. Nothing is kept while a write is on record: the gauge's copy is suspect then.
  void keep(const EEPROM& image) const;

  std::string recordName() const;
  bool hasRecord() const;
  // Puts the record in place whole (written beside it, then renamed); false if it could not.
  bool record(const EEPROM& image) const;
  void clearRecord() const;

 private:
  std::string name(const std::string& suffix) const;

  std::string label_;
  std::string prefix_;  // "<label>.<serial>."
};

}  // namespace qx5cmd
