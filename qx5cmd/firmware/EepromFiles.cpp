#include "qx5cmd/firmware/EepromFiles.h"

#include "qx5cmd/core/Console.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <system_error>

namespace qx5cmd {
namespace {

namespace fs = std::filesystem;

constexpr const char* kFirstBackup = "hex";
constexpr const char* kRecord = "writing.hex";

// 0 for "<start>hex", n for "<start><n>.hex", -1 for any other name.
long backupNumber(const std::string& fileName, const std::string& start) {
  if (fileName.rfind(start, 0) != 0) return -1;
  const std::string rest = fileName.substr(start.size());
  if (rest == kFirstBackup) return 0;
  if (rest.size() < 5 || rest.size() > 13 || !rest.ends_with(".hex") || rest[0] == '0') return -1;
  const std::string digits = rest.substr(0, rest.size() - 4);
  if (!std::all_of(digits.begin(), digits.end(), [](unsigned char c) { return std::isdigit(c); }))
    return -1;
  return std::stol(digits);
}

// The number of the newest backup whose names begin with `prefix`; -1 when there is none.
long newestNumber(const std::string& prefix) {
  const fs::path whole(prefix);
  const fs::path folder = whole.has_parent_path() ? whole.parent_path() : fs::path(".");
  const std::string start = whole.filename().string();
  long newest = -1;
  std::error_code error;
  for (fs::directory_iterator it(folder, error), end; !error && it != end; it.increment(error))
    newest = std::max(newest, backupNumber(it->path().filename().string(), start));
  return newest;
}

std::string numbered(long number) {
  return number == 0 ? kFirstBackup : std::to_string(number) + ".hex";
}

}  // namespace

EepromFiles::EepromFiles(const EEPROM& image) : label_(image.label()) {
  const std::string first = image.fileName(label_);
  prefix_ = first.substr(0, first.size() - std::string(kFirstBackup).size());
}

std::string EepromFiles::name(const std::string& suffix) const { return prefix_ + suffix; }

std::string EepromFiles::newestBackup() const {
  const long newest = newestNumber(prefix_);
  return newest < 0 ? std::string() : name(numbered(newest));
}

void EepromFiles::keep(const EEPROM& image) const {
  if (!image.isValid()) return;
  if (hasRecord()) {
    out("%s not backed up: a write to it was not confirmed (\"%s\")\n", label_.c_str(),
        recordName().c_str());
    return;
  }
  const long newest = newestNumber(prefix_);
  if (newest < 0) {
    out("saving %s to \"%s\"\n", label_.c_str(), name(kFirstBackup).c_str());
    image.writeNewFile(name(kFirstBackup));
    return;
  }
  const std::string held = name(numbered(newest));
  EEPROM backup(image.expectedSerial(), label_);
  if (backup.readFile(held) && backup.image() == image.image()) {
    out("file \"%s\" already holds this %s\n", held.c_str(), label_.c_str());
    return;
  }
  const std::string path = name(numbered(newest + 1));
  out("saving %s to \"%s\" (\"%s\" holds an earlier copy)\n", label_.c_str(), path.c_str(),
      held.c_str());
  image.writeNewFile(path);
}

std::string EepromFiles::recordName() const { return name(kRecord); }

bool EepromFiles::hasRecord() const {
  std::error_code ignored;
  return fs::exists(recordName(), ignored);
}

bool EepromFiles::record(const EEPROM& image) const {
  const std::string path = recordName();
  const std::string partial = path + ".part";
  std::error_code error;
  fs::remove(partial, error);
  if (image.writeNewFile(partial)) {
    fs::rename(partial, path, error);
    if (error) {
      // Where a rename does not replace a file: the old record goes first.
      fs::remove(path, error);
      fs::rename(partial, path, error);
    }
    if (!error) return true;
    fs::remove(partial, error);
  }
  out("cannot record the write of %s in \"%s\": nothing is written to the gauge\n", label_.c_str(),
      path.c_str());
  return false;
}

void EepromFiles::clearRecord() const {
  std::error_code ignored;
  fs::remove(recordName(), ignored);
}

}  // namespace qx5cmd
