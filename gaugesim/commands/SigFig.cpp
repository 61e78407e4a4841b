#include "gaugesim/commands/SigFig.h"

#include <cmath>
#include <cstdio>

namespace qx5::sim {
namespace {

// Number of decimals the step asks for: 0.01 -> 2, 0.0002 -> 4.
int stepDecimals(float step) {
  const double s = std::fabs(static_cast<double>(step));
  if (!(s > 0)) return 0;
  for (int d = 0; d < 9; ++d)
    if (s * std::pow(10.0, d) >= 0.999) return d;
  return 9;
}

// value rounded to multiples of `mantissa` x 10^exponent, half away from zero.
std::string render(double value, int mantissa, int exponent) {
  const double quantum = mantissa * std::pow(10.0, exponent);
  const long long count = std::llround(value / quantum);
  const int decimals = exponent < 0 ? -exponent : 0;
  char text[64];
  std::snprintf(text, sizeof text, "%.*f", decimals, count == 0 ? 0.0 : count * quantum);
  return text;
}

}  // namespace

std::string formatSignificant(float value, float step, int mode) {
  const double v = value;
  const int finest = -stepDecimals(step);
  int mantissa = 1;
  int exponent = finest;
  if (v != 0 && std::isfinite(v)) {
    const int leading = static_cast<int>(std::floor(std::log10(std::fabs(v))));
    mantissa = mode == 1 ? 1 : 5;
    exponent = leading - (mode == 2 ? 3 : 2);
    if (exponent < finest) {
      mantissa = 1;
      exponent = finest;
    }
  }
  std::string text = render(v, mantissa, exponent);
  // Too wide: give up decimals, then the whole field.
  while (text.size() > kSigFigField && exponent < 0) {
    mantissa = 1;
    ++exponent;
    text = render(v, mantissa, exponent);
  }
  if (text.size() > kSigFigField || !std::isfinite(v)) return std::string(kSigFigField, '-');
  return std::string(kSigFigField - text.size(), ' ') + text;
}

}  // namespace qx5::sim
