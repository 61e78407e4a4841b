// QX5_RECORD=FILE: the recording in our own text format, appended whole line by whole line so
// that processes recording one after another (or at once) leave a readable file.
#pragma once

#include <chrono>
#include <cstdio>
#include <functional>
#include <mutex>
#include <string>

#include "qx5_dll/usb/record/PacketSink.h"

namespace qx5::usb {

using ReportFunction = std::function<void(const std::string&)>;

class TextRecording : public PacketSink {
 public:
  // Writes the session's header at once. `report` hears, once, that the file cannot be written.
  TextRecording(std::string path, const std::string& libraryVersion, ReportFunction report);
  ~TextRecording() override;
  TextRecording(const TextRecording&) = delete;
  TextRecording& operator=(const TextRecording&) = delete;

  void gauge(int gauge, const std::string& path) override;
  void identity(int gauge, const std::string& key, const std::string& value) override;
  void packet(int gauge, recording::Direction direction, std::uint8_t endpoint,
              const std::uint8_t* bytes, std::size_t count) override;

 private:
  void write(const std::string& lines);

  std::mutex mutex_;
  std::string path_;
  ReportFunction report_;
  std::FILE* file_ = nullptr;
  bool failed_ = false;
  std::chrono::steady_clock::time_point start_;  // the process's clock, which the gauges share
};

// The moment as "2026-12-08T02:30:00Z".
std::string utcTimestamp();

}  // namespace qx5::usb
