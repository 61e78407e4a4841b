// The firmware's display rounding: a value shown to 2.5, 3 or 3.5 significant figures (a
// half figure is a last digit rounded to 0 or 5), never finer than the decimals of the
// round-to step, in an 8-character field.
#pragma once

#include <string>

namespace qx5::sim {

inline constexpr std::size_t kSigFigField = 8;

// mode 0: 2.5 figures, 1: 3 figures, 2: 3.5 figures. Returns exactly 8 characters, right
// aligned; eight dashes when even the integer part does not fit.
std::string formatSignificant(float value, float step, int mode);

}  // namespace qx5::sim
