// Where an axis gets its ticks and labels: numbers on 1, 2, 5 steps, clock times on steps a
// person reads at a glance (10 s, 1 min, 15 min, 1 h ...).
#pragma once

#include <string>
#include <vector>

namespace qx5cmd::charts {

struct Range {
  double low = 0;
  double high = 1;
  double span() const { return high - low; }
};

struct Tick {
  double value = 0;
  std::string label;
};

struct Axis {
  std::string title;  // with its unit
  Range range;
  std::vector<Tick> ticks;
};

// An axis over [low, high] widened to whole steps of 1, 2 or 5 times a power of ten, about
// `count` ticks; an empty range is opened around its value so a flat curve still draws.
Axis numberAxis(const std::string& title, Range data, int count = 6);

// Seconds since local midnight (beyond 86400 on the following days) over exactly the data's
// range, ticks on a clock step; labelled hh:mm, or hh:mm:ss when the step is under a minute,
// and with "+Nd" on the days after the first.
Axis clockAxis(const std::string& title, Range seconds, int count = 7);

// Elapsed seconds from 0 over the data's range, ticks on 1, 2, 5 steps.
Axis elapsedAxis(const std::string& title, Range seconds, int count = 8);

}  // namespace qx5cmd::charts
