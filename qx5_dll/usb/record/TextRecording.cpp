#include "qx5_dll/usb/record/TextRecording.h"

#include <ctime>

#include "qx5_dll/platform/Clock.h"

namespace qx5::usb {

std::string utcTimestamp() {
  const std::time_t now = std::time(nullptr);
  std::tm utc{};
#if defined(_WIN32)
  gmtime_s(&utc, &now);
#else
  gmtime_r(&now, &utc);
#endif
  char text[32];
  std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", &utc);
  return text;
}

TextRecording::TextRecording(std::string path, const std::string& libraryVersion,
                             ReportFunction report)
    : path_(std::move(path)), report_(std::move(report)), start_(platform::processClock().now()) {
  // Append mode: every write lands at the end, whoever else appends meanwhile.
  file_ = std::fopen(path_.c_str(), "ab");
  write(recording::sessionHeader(libraryVersion, utcTimestamp()));
}

TextRecording::~TextRecording() {
  if (file_) std::fclose(file_);
}

void TextRecording::write(const std::string& lines) {
  std::lock_guard lock(mutex_);
  if (failed_) return;
  // One fwrite and a flush per call: a block of lines reaches the file in one write.
  if (file_ && std::fwrite(lines.data(), 1, lines.size(), file_) == lines.size() &&
      std::fflush(file_) == 0)
    return;
  failed_ = true;
  if (report_) report_("QX5_RECORD=" + path_ + ": cannot be written; recording stopped");
}

void TextRecording::gauge(int gauge, const std::string& path) {
  write(recording::gaugeLine(gauge, "path", path));
}

void TextRecording::identity(int gauge, const std::string& key, const std::string& value) {
  write(recording::gaugeLine(gauge, key, value));
}

void TextRecording::packet(int gauge, recording::Direction direction, std::uint8_t,
                           const std::uint8_t* bytes, std::size_t count) {
  const auto ms =
      std::chrono::duration_cast<std::chrono::milliseconds>(platform::processClock().now() - start_)
          .count();
  write(recording::packetLine(direction, gauge, static_cast<std::uint64_t>(ms), bytes, count));
}

}  // namespace qx5::usb
