// Where the simulated gauges come from: QX5SIM=N fresh gauges, QX5SIM=DIR with one NAME.gauge
// file per attached gauge and its memory kept in NAME.state beside it, or QX5SIM=FILE with one
// gauge per gauge of a recording.
#pragma once

#include <filesystem>
#include <iosfwd>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "gaugesim/model/Gauge.h"
#include "gaugesim/model/Replay.h"

namespace qx5::sim {

class Environment {
 public:
  static constexpr int kMaxGauges = 64;
  static constexpr std::int32_t kFirstSerial = 10001;

  // A number 1..64, a directory or a recording. Problems go to `messages`; the result is never
  // null (an unusable value gives an environment without gauges).
  static std::unique_ptr<Environment> fromValue(const std::string& value, std::ostream& messages,
                                                ClockSource clock = {}, ReplayOptions replay = {});
  Environment(int count, ClockSource clock = {});
  // Recorded gauges "rec0", "rec1", ... at their recorded interface paths.
  Environment(const recording::Recording& recording, const ReplayOptions& replay,
              ClockSource clock = {});
  Environment(std::filesystem::path directory, std::ostream& messages, ClockSource clock = {},
              ReplayOptions replay = {});
  ~Environment();
  Environment(const Environment&) = delete;
  Environment& operator=(const Environment&) = delete;

  // The attached gauges in enumeration order. In directory mode this looks at the files again:
  // new files plug gauges in, missing ones unplug them, edited ones are read again.
  std::vector<std::shared_ptr<Gauge>> scan();
  bool keepsState() const { return !directory_.empty(); }
  // Writes the gauge's state beside its file (directory mode only). Different gauges may be
  // saved on different threads at once; one gauge's calls (this included) need its own lock.
  void save(Gauge& gauge);
  void saveAll();

 private:
  struct Entry {
    std::shared_ptr<Gauge> gauge;
    std::filesystem::file_time_type written{};
    std::uintmax_t size = 0;
  };
  GaugeConfig readConfig(const std::filesystem::path& file, GaugeConfig defaults);
  // A gauge of a `.gauge` file, answering from its recording if it names one; null (reported)
  // when that recording cannot be used.
  std::shared_ptr<Gauge> makeGauge(const GaugeConfig& config);
  std::filesystem::path statePath(const std::string& name) const;

  std::filesystem::path directory_;
  std::ostream* messages_ = nullptr;
  std::mutex messagesMutex_;  // saves on several threads report into one stream
  ClockSource clock_;
  ReplayOptions replay_;
  std::map<std::string, std::filesystem::file_time_type> refused_;  // bad recordings, reported
  std::vector<std::shared_ptr<Gauge>> fixed_;                       // count mode
  std::map<std::string, Entry> known_;                              // directory mode, by name
};

}  // namespace qx5::sim
