// Named measurements of a run: elapsed times and returned values, created on first use and
// printed together at the end, timings first, each kind in the order it was first recorded.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>
#include "qx5cmd/core/WorkerOverride.h"

namespace qx5cmd {

class StatsRegistry;

class PrintableStats {
 public:
  virtual ~PrintableStats() = default;
  // The statistic's report line, without a newline.
  virtual std::string print() const = 0;

  const std::string& name() const { return name_; }
  int count() const { return count_; }
  bool registered() const { return registered_; }

 protected:
  PrintableStats(StatsRegistry& owner, std::string name) : owner_(owner), name_(std::move(name)) {}
  // Joins the print list at the first sample.
  void enrol();

  StatsRegistry& owner_;
  std::string name_;
  int count_ = 0;

 private:
  bool registered_ = false;
};

// The count, total, smallest and largest of the samples taken.
template <class Value, class Total>
class RangeStats : public PrintableStats {
 public:
  Total total() const { return total_; }
  Value min() const { return min_; }
  Value max() const { return max_; }
  // Takes in the samples of another run's statistic (a worker's, -j).
  void addAll(const RangeStats& other) {
    enrol();
    if (other.count_ == 0) return;
    if (count_ == 0 || other.min_ < min_) min_ = other.min_;
    if (count_ == 0 || other.max_ > max_) max_ = other.max_;
    total_ += other.total_;
    count_ += other.count_;
  }

 protected:
  using PrintableStats::PrintableStats;
  void add(Value value) {
    enrol();
    if (count_ == 0 || value < min_) min_ = value;
    if (count_ == 0 || value > max_) max_ = value;
    total_ += value;
    ++count_;
  }

  Total total_ = 0;
  Value min_ = 0, max_ = 0;
};

// Elapsed times in counter ticks.
class StatsTimes : public RangeStats<std::int64_t, std::int64_t> {
 public:
  StatsTimes(StatsRegistry& owner, std::string name) : RangeStats(owner, std::move(name)) {}

  void start();
  void startAt(std::int64_t counter) { start_ = counter; }
  void clear() { start_ = 0; }
  void stop();
  void stopAt(std::int64_t counter);
  bool running() const { return start_ != 0; }

  std::string print() const override;
  std::string printAt(std::int64_t now) const;

 private:
  std::int64_t start_ = 0;
};

class StatsValues : public RangeStats<double, double> {
 public:
  StatsValues(StatsRegistry& owner, std::string name) : RangeStats(owner, std::move(name)) {}
  void record(double value) { add(value); }
  std::string print() const override;
};

// The total has 64 bits so that a long run of large values (serial numbers) keeps a true
// average.
class StatsIntValues : public RangeStats<int, std::int64_t> {
 public:
  StatsIntValues(StatsRegistry& owner, std::string name) : RangeStats(owner, std::move(name)) {}
  void record(int value) { add(value); }
  std::string print() const override;
};

class StatsStringValues : public PrintableStats {
 public:
  StatsStringValues(StatsRegistry& owner, std::string name)
      : PrintableStats(owner, std::move(name)) {}
  void record(const std::string& text);
  void addAll(const StatsStringValues& other);
  std::string print() const override;
  const std::string& last() const { return last_; }

 private:
  std::string last_;
};

// Finds statistics by name without regard to case, creating them on first request; never
// deletes one. Also keeps the print list.
class StatsRegistry {
 public:
  // Ticks per second of the counter the times were taken with.
  explicit StatsRegistry(std::int64_t ticksPerSecond);
  StatsRegistry(const StatsRegistry&) = delete;
  StatsRegistry& operator=(const StatsRegistry&) = delete;

  StatsTimes& times(const std::string& name);
  StatsValues& values(const std::string& name);
  StatsIntValues& intValues(const std::string& name);
  StatsStringValues& stringValues(const std::string& name);

  std::int64_t ticksPerSecond() const { return ticksPerSecond_; }
  const std::vector<PrintableStats*>& printList() const { return printList_; }

  // Every timing with samples, an empty line, every value statistic with samples.
  std::string report() const;

  // Adds the samples of another registry (a worker's, -j) statistic by statistic, those this
  // one lacks joining its print list in the other's order; the other's last text is the last.
  void merge(const StatsRegistry& other);

 private:
  friend class PrintableStats;
  std::int64_t ticksPerSecond_;
  std::vector<std::unique_ptr<StatsTimes>> times_;
  std::vector<std::unique_ptr<StatsValues>> values_;
  std::vector<std::unique_ptr<StatsIntValues>> intValues_;
  std::vector<std::unique_ptr<StatsStringValues>> stringValues_;
  std::vector<PrintableStats*> printList_;
};

// The calling thread's registry: a worker's own while one is installed, else the run's, on the
// platform's high-resolution counter. A registry is used by one thread at a time.
StatsRegistry& stats();

// Installs a worker's registry on the calling thread for the scope's life.
using StatsScope = WorkerOverride<StatsRegistry>;

// "%s %s" of a duration in seconds: scaled to the unit the size calls for, with the number
// format its scaled size calls for.
struct TimeUnit {
  const char* name;
  double factor;
};
TimeUnit timeUnitFor(double seconds);
const char* numberFormatFor(double scaledValue);

}  // namespace qx5cmd
