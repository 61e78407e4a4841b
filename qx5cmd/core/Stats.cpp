#include "qx5cmd/core/Stats.h"

#include <cmath>

#include "qx5cmd/core/Text.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

template <class Stat>
Stat& findOrCreate(StatsRegistry& owner, std::vector<std::unique_ptr<Stat>>& list,
                   const std::string& name) {
  for (auto& s : list) {
    if (equalsIgnoreCase(s->name(), name)) return *s;
  }
  list.push_back(std::make_unique<Stat>(owner, name));
  return *list.back();
}

// "value unit" of a duration, every number of the line in the unit and format of `basis`.
std::string scaled(double seconds, double basisSeconds) {
  TimeUnit unit = timeUnitFor(basisSeconds);
  double basisScaled = std::fabs(basisSeconds) * unit.factor;
  return format(numberFormatFor(basisScaled), seconds * unit.factor);
}

}  // namespace

TimeUnit timeUnitFor(double seconds) {
  double a = std::fabs(seconds);
  if (a > 3600) return {"hours", 1.0 / 3600};
  if (a > 60) return {"minutes", 1.0 / 60};
  if (a > 1) return {"seconds", 1};
  if (a > 0.001) return {"milliseconds", 1000};
  return {"microseconds", 1000000};
}

const char* numberFormatFor(double scaledValue) {
  if (scaledValue > 100) return "%0.0f";
  if (scaledValue > 10) return "%0.1f";
  return "%0.2f";
}

void PrintableStats::enrol() {
  if (registered_) return;
  registered_ = true;
  owner_.printList_.push_back(this);
}

void StatsTimes::start() { start_ = platform::performanceCounter(); }

void StatsTimes::stop() { stopAt(platform::performanceCounter()); }

void StatsTimes::stopAt(std::int64_t counter) {
  enrol();
  if (start_ == 0) return;
  add(counter - start_);
  start_ = 0;
}

std::string StatsTimes::print() const { return printAt(platform::performanceCounter()); }

std::string StatsTimes::printAt(std::int64_t now) const {
  const double perSecond = static_cast<double>(owner_.ticksPerSecond());
  auto seconds = [perSecond](std::int64_t ticks) { return static_cast<double>(ticks) / perSecond; };
  std::string line;
  if (count_ == 0) {
    line = format("no %s", name_.c_str());
  } else {
    double average = seconds(total_ / count_);
    const char* unit = timeUnitFor(average).name;
    if (count_ == 1) {
      line = format("%-31s %6s %s", name_.c_str(), scaled(seconds(min_), average).c_str(), unit);
    } else {
      line = format("%-31s num (%d) min %s, avg %s, max %s %s", name_.c_str(), count_,
                    scaled(seconds(min_), average).c_str(), scaled(average, average).c_str(),
                    scaled(seconds(max_), average).c_str(), unit);
    }
  }
  if (start_ != 0) {
    double since = seconds(now - start_);
    line +=
        format(" and one started %s %s ago", scaled(since, since).c_str(), timeUnitFor(since).name);
  }
  return line;
}

std::string StatsValues::print() const {
  if (count_ == 0) return format("no %s", name_.c_str());
  std::string min = format("%0.3f", min_);
  if (count_ == 1) return format("%-31s %6s", name_.c_str(), min.c_str());
  return format("%-31s num (%d) min %s, avg %s, max %s", name_.c_str(), count_, min.c_str(),
                format("%0.3f", total_ / count_).c_str(), format("%0.3f", max_).c_str());
}

std::string StatsIntValues::print() const {
  if (count_ == 0) return format("no %s", name_.c_str());
  std::string min = format("%d", min_);
  if (count_ == 1 || min_ == max_) return format("%-31s %6s", name_.c_str(), min.c_str());
  return format("%-31s num (%d) min %s, avg %s, max %s", name_.c_str(), count_, min.c_str(),
                format("%0.3f", static_cast<double>(total_ / count_)).c_str(),
                format("%d", max_).c_str());
}

void StatsStringValues::record(const std::string& text) {
  enrol();
  ++count_;
  last_ = text;
}

void StatsStringValues::addAll(const StatsStringValues& other) {
  enrol();
  if (other.count_ == 0) return;
  count_ += other.count_;
  last_ = other.last_;
}

std::string StatsStringValues::print() const {
  if (count_ == 0) return format("no %s", name_.c_str());
  if (count_ == 1) return format("%-31s %s", name_.c_str(), last_.c_str());
  return format("%-31s num (%d) %s", name_.c_str(), count_, last_.c_str());
}

StatsRegistry::StatsRegistry(std::int64_t ticksPerSecond)
    : ticksPerSecond_(ticksPerSecond > 0 ? ticksPerSecond : 1) {}

StatsTimes& StatsRegistry::times(const std::string& name) {
  return findOrCreate(*this, times_, name);
}
StatsValues& StatsRegistry::values(const std::string& name) {
  return findOrCreate(*this, values_, name);
}
StatsIntValues& StatsRegistry::intValues(const std::string& name) {
  return findOrCreate(*this, intValues_, name);
}
StatsStringValues& StatsRegistry::stringValues(const std::string& name) {
  return findOrCreate(*this, stringValues_, name);
}

std::string StatsRegistry::report() const {
  std::string text;
  for (const PrintableStats* s : printList_) {
    if (dynamic_cast<const StatsTimes*>(s) && s->count() > 0) text += s->print() + "\n";
  }
  text += "\n";
  for (const PrintableStats* s : printList_) {
    if (!dynamic_cast<const StatsTimes*>(s) && s->count() > 0) text += s->print() + "\n";
  }
  return text;
}

void StatsRegistry::merge(const StatsRegistry& other) {
  for (const PrintableStats* s : other.printList_) {
    if (auto t = dynamic_cast<const StatsTimes*>(s)) {
      times(t->name()).addAll(*t);
    } else if (auto v = dynamic_cast<const StatsValues*>(s)) {
      values(v->name()).addAll(*v);
    } else if (auto i = dynamic_cast<const StatsIntValues*>(s)) {
      intValues(i->name()).addAll(*i);
    } else if (auto text = dynamic_cast<const StatsStringValues*>(s)) {
      stringValues(text->name()).addAll(*text);
    }
  }
}

StatsRegistry& stats() {
  static StatsRegistry registry(platform::performanceFrequency());
  StatsRegistry* worker = StatsScope::installed();
  return worker ? *worker : registry;
}

}  // namespace qx5cmd
