#include "gaugesim/files/Environment.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <ostream>
#include <system_error>

#include "gaugesim/model/Parsing.h"

namespace qx5::sim {
namespace fs = std::filesystem;

namespace {

constexpr const char* kGaugeExtension = ".gauge";
constexpr const char* kStateExtension = ".state";

}  // namespace

std::unique_ptr<Environment> Environment::fromValue(const std::string& value,
                                                    std::ostream& messages, ClockSource clock,
                                                    ReplayOptions replay) {
  int count = 0;
  if (parseWhole(value, count)) {
    if (count < 1 || count > kMaxGauges) {
      messages << "QX5SIM=" << value << ": expected 1 to " << kMaxGauges
               << " gauges or a directory; no simulated gauges\n";
      count = 0;
    }
    return std::make_unique<Environment>(count, std::move(clock));
  }
  std::error_code error;
  if (fs::is_regular_file(value, error) && recording::isRecordingFile(value)) {
    std::string why;
    const auto recorded = recording::readRecordingFile(value, why);
    if (recorded) return std::make_unique<Environment>(*recorded, replay, std::move(clock));
    messages << why << "\nQX5SIM=" << value << ": no simulated gauges\n";
    return std::make_unique<Environment>(0, std::move(clock));
  }
  if (!fs::is_directory(value, error)) {
    messages << "QX5SIM=" << value << ": not a directory or a recording; no simulated gauges\n";
    return std::make_unique<Environment>(0, std::move(clock));
  }
  return std::make_unique<Environment>(fs::path(value), messages, std::move(clock),
                                       std::move(replay));
}

Environment::Environment(const recording::Recording& recording, const ReplayOptions& replay,
                         ClockSource clock)
    : clock_(std::move(clock)), replay_(replay) {
  for (const recording::RecordedGauge& recorded : recording.gauges) {
    GaugeConfig config;
    config.name = "rec" + std::to_string(fixed_.size());
    config.interfacePath = recorded.path;
    fixed_.push_back(replayedGauge(recorded, config, replay_, clock_));
  }
}

Environment::Environment(int count, ClockSource clock) : clock_(std::move(clock)) {
  for (int i = 0; i < count; ++i) {
    GaugeConfig config;
    config.name = "sim" + std::to_string(i);
    config.serial = kFirstSerial + i;
    fixed_.push_back(std::make_shared<Gauge>(config, clock_));
  }
}

Environment::Environment(fs::path directory, std::ostream& messages, ClockSource clock,
                         ReplayOptions replay)
    : directory_(std::move(directory)),
      messages_(&messages),
      clock_(std::move(clock)),
      replay_(std::move(replay)) {}

std::shared_ptr<Gauge> Environment::makeGauge(const GaugeConfig& config) {
  if (config.replay.empty()) return std::make_shared<Gauge>(config, clock_);
  // Relative to the gauge's own folder, like its state.
  const fs::path file =
      fs::path(config.replay).is_absolute() ? fs::path(config.replay) : directory_ / config.replay;
  std::string why;
  const auto recorded = recording::readRecordingFile(file.string(), why);
  if (!recorded || recorded->gauges.empty()) {
    *messages_ << (recorded ? file.string() + ": records no gauge" : why) << "\n"
               << config.name << kGaugeExtension << ": not attached\n";
    return nullptr;
  }
  return replayedGauge(recorded->gauges.front(), config, replay_, clock_);
}

Environment::~Environment() { saveAll(); }

GaugeConfig Environment::readConfig(const fs::path& file, GaugeConfig defaults) {
  std::ifstream in(file);
  if (!in) {
    *messages_ << file.string() << ": cannot be read; using defaults\n";
    return defaults;
  }
  return parseGaugeConfig(in, file.string(), std::move(defaults), *messages_);
}

fs::path Environment::statePath(const std::string& name) const {
  return directory_ / (name + kStateExtension);
}

std::vector<std::shared_ptr<Gauge>> Environment::scan() {
  if (directory_.empty()) return fixed_;

  std::vector<fs::path> files;
  std::error_code error;
  for (fs::directory_iterator it(directory_, error), end; !error && it != end;
       it.increment(error)) {
    if (it->path().extension() == kGaugeExtension && it->is_regular_file(error))
      files.push_back(it->path());
  }
  std::sort(files.begin(), files.end(),
            [](const fs::path& a, const fs::path& b) { return a.filename() < b.filename(); });

  std::vector<std::shared_ptr<Gauge>> present;
  for (std::size_t index = 0; index < files.size(); ++index) {
    const fs::path& file = files[index];
    const std::string name = file.stem().string();
    const auto written = fs::last_write_time(file, error);
    const auto size = fs::file_size(file, error);
    auto found = known_.find(name);
    if (found == known_.end()) {
      const auto refused = refused_.find(name);
      if (refused != refused_.end() && refused->second == written) continue;
      GaugeConfig defaults;
      defaults.name = name;
      defaults.serial = kFirstSerial + static_cast<std::int32_t>(index);
      auto gauge = makeGauge(readConfig(file, defaults));
      if (!gauge) {  // reported once, until the file changes
        refused_[name] = written;
        continue;
      }
      const fs::path state = statePath(name);
      if (fs::exists(state, error)) {
        std::ifstream in(state, std::ios::binary);
        const std::vector<std::uint8_t> bytes{std::istreambuf_iterator<char>(in),
                                              std::istreambuf_iterator<char>()};
        if (!gauge->restore(bytes))
          *messages_ << state.string() << ": unreadable gauge state; starting afresh\n";
      }
      found = known_.emplace(name, Entry{gauge, written, size}).first;
    } else if (found->second.written != written || found->second.size != size) {
      // Keys left out of the edited file fall back to their defaults.
      GaugeConfig defaults;
      defaults.name = name;
      found->second.gauge->reconfigure(readConfig(file, defaults));
      found->second.written = written;
      found->second.size = size;
    }
    present.push_back(found->second.gauge);
  }
  return present;
}

void Environment::save(Gauge& gauge) {
  if (directory_.empty()) return;
  const fs::path target = statePath(gauge.name());
  const fs::path temporary = target.string() + ".tmp";
  const std::vector<std::uint8_t> bytes = gauge.snapshot();
  {
    std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out) {
      std::lock_guard lock(messagesMutex_);
      *messages_ << temporary.string() << ": cannot write gauge state\n";
      return;
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) {
    std::lock_guard lock(messagesMutex_);
    *messages_ << target.string() << ": cannot write gauge state: " << error.message() << "\n";
    return;
  }
  gauge.clearDirty();
}

void Environment::saveAll() {
  for (auto& [name, entry] : known_)
    if (entry.gauge->dirty()) save(*entry.gauge);
}

}  // namespace qx5::sim
