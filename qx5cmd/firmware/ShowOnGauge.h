// Text on one line of the gauge's display, through the firmware's test 5.
#pragma once

#include <cstddef>
#include <string>

#include "qx5cmd/core/QX5Function.h"

namespace qx5cmd {

// The input is the line byte, the text and its zero in 31 bytes: longer texts are cut.
inline constexpr std::size_t kShowOnGaugeMaxChars = 29;

// Line 1 or 2. False when the call fails or the library lacks RunTest (null wrapper).
bool showOnGauge(QX5RunTest* runTest, int line, const std::string& text);

}  // namespace qx5cmd
