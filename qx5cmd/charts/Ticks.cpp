#include "qx5cmd/charts/Ticks.h"

#include <algorithm>
#include <cmath>
#include <iterator>

#include "qx5cmd/core/Text.h"

namespace qx5cmd::charts {
namespace {

// The smallest of 1, 2, 5 times a power of ten that splits `span` into at most `count` steps.
double niceStep(double span, int count) {
  const double rough = span / std::max(1, count);
  const double power = std::pow(10.0, std::floor(std::log10(rough)));
  for (double factor : {1.0, 2.0, 5.0}) {
    if (factor * power >= rough) return factor * power;
  }
  return 10 * power;
}

std::string numberLabel(double value, double step) {
  const int decimals = step >= 1 ? 0 : static_cast<int>(std::ceil(-std::log10(step) - 1e-9));
  if (std::fabs(value) < step / 2) value = 0;  // no "-0"
  return format("%.*f", decimals, value);
}

std::string clockLabel(double seconds, bool withSeconds) {
  const long whole = std::lround(seconds);
  const long day = whole / 86400, inDay = whole % 86400;
  std::string text = withSeconds
                         ? format("%02ld:%02ld:%02ld", inDay / 3600, inDay / 60 % 60, inDay % 60)
                         : format("%02ld:%02ld", inDay / 3600, inDay / 60 % 60);
  return day > 0 ? text + format(" +%ldd", day) : text;
}

// A range of data with nothing in it is opened so that scales never divide by zero.
Range opened(Range data, double by) {
  if (!(data.high > data.low)) return {data.low - by, data.low + by};
  return data;
}

}  // namespace

Axis numberAxis(const std::string& title, Range data, int count) {
  data = opened(data, std::max(1.0, std::fabs(data.low) * 0.05));
  const double step = niceStep(data.span(), count);
  // A value a hair beyond a whole step (a room at -0.003 kPa) does not cost the axis a step.
  constexpr double kSlack = 0.02;
  Axis axis{
      title,
      {std::floor(data.low / step + kSlack) * step, std::ceil(data.high / step - kSlack) * step},
      {}};
  for (double v = axis.range.low; v <= axis.range.high + step / 2; v += step)
    axis.ticks.push_back({v, numberLabel(v, step)});
  return axis;
}

Axis clockAxis(const std::string& title, Range seconds, int count) {
  seconds = opened(seconds, 30);
  static const double steps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                                 600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
  double step = steps[std::size(steps) - 1];
  for (double s : steps) {
    if (seconds.span() / s <= count) {
      step = s;
      break;
    }
  }
  while (seconds.span() / step > count) step *= 2;  // logs of many days
  Axis axis{title, seconds, {}};
  for (double v = std::ceil(seconds.low / step) * step; v <= seconds.high; v += step)
    axis.ticks.push_back({v, clockLabel(v, step < 60)});
  return axis;
}

Axis elapsedAxis(const std::string& title, Range seconds, int count) {
  Range data{0, std::max(seconds.high, 1.0)};
  const double step = niceStep(data.span(), count);
  Axis axis{title, {0, std::ceil(data.high / step) * step}, {}};
  for (double v = 0; v <= axis.range.high + step / 2; v += step)
    axis.ticks.push_back({v, numberLabel(v, step)});
  return axis;
}

}  // namespace qx5cmd::charts
