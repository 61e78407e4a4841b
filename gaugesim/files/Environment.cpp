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
                                                    std::ostream& messages, ClockSource clock) {
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
  if (!fs::is_directory(value, error)) {
    messages << "QX5SIM=" << value << ": not a directory; no simulated gauges\n";
    return std::make_unique<Environment>(0, std::move(clock));
  }
  return std::make_unique<Environment>(fs::path(value), messages, std::move(clock));
}

Environment::Environment(int count, ClockSource clock) : clock_(std::move(clock)) {
  for (int i = 0; i < count; ++i) {
    GaugeConfig config;
    config.name = "sim" + std::to_string(i);
    config.serial = kFirstSerial + i;
    fixed_.push_back(std::make_shared<Gauge>(config, clock_));
  }
}

Environment::Environment(fs::path directory, std::ostream& messages, ClockSource clock)
    : directory_(std::move(directory)), messages_(&messages), clock_(std::move(clock)) {}

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
      GaugeConfig defaults;
      defaults.name = name;
      defaults.serial = kFirstSerial + static_cast<std::int32_t>(index);
      auto gauge = std::make_shared<Gauge>(readConfig(file, defaults), clock_);
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
      *messages_ << temporary.string() << ": cannot write gauge state\n";
      return;
    }
  }
  std::error_code error;
  fs::rename(temporary, target, error);
  if (error) {
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
