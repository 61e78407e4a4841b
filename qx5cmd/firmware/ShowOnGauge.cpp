#include "qx5cmd/firmware/ShowOnGauge.h"

#include <algorithm>
#include <cstdint>
#include <cstring>

namespace qx5cmd {

namespace {
constexpr std::uint32_t kShowTextTest = 5;
constexpr std::uint32_t kShowTextInputLength = 31;
}  // namespace

bool showOnGauge(QX5RunTest* runTest, int line, const std::string& text) {
  if (!runTest) return false;
  std::uint8_t input[kShowTextInputLength] = {};
  input[0] = static_cast<std::uint8_t>(line);
  std::memcpy(input + 1, text.data(), std::min(text.size(), kShowOnGaugeMaxChars));
  std::uint32_t outputLength = 0;
  // A reply carries at most 56 data bytes; the buffer holds any of them.
  std::uint8_t output[64] = {};
  return runTest->call(kShowTextTest, kShowTextInputLength, input, &outputLength, output);
}

}  // namespace qx5cmd
