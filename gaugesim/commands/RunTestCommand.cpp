#include "gaugesim/commands/RunTestCommand.h"

#include <algorithm>
#include <cstring>
#include <string>

#include "gaugesim/commands/SigFig.h"
#include "gaugesim/model/EepromImage.h"
#include "gaugesim/model/Gauge.h"

namespace qx5::sim {
namespace {

constexpr std::size_t kSigFigTextOffset = 11;
constexpr std::size_t kMessageMax = 30;

void putU16(std::uint8_t* out, std::size_t offset, std::uint32_t value) {
  out[offset] = static_cast<std::uint8_t>(value);
  out[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

std::uint32_t getU32(const std::uint8_t* in) {
  return in[0] | in[1] << 8 | in[2] << 16 | std::uint32_t{in[3]} << 24;
}

float getFloat(const std::uint8_t* in) {
  const std::uint32_t bits = getU32(in);
  float value;
  std::memcpy(&value, &bits, sizeof value);
  return value;
}

// 1: value, step and mode in; the request echoed, then the 8-character text and a zero.
int significantFigures(Gauge&, const std::uint8_t* in, std::size_t count, std::uint8_t* out) {
  if (in[8] > 2) return -1;
  std::copy_n(in, std::min(count, kSigFigTextOffset), out);
  const std::string text = formatSignificant(getFloat(in), getFloat(in + 4), in[8]);
  std::copy(text.begin(), text.end(), out + kSigFigTextOffset);
  out[kSigFigTextOffset + text.size()] = 0;
  return static_cast<int>(kSigFigTextOffset + text.size() + 1);
}

// 2: the firmware busy-waits; long enough and its watchdog restarts it.
int delay(Gauge& gauge, const std::uint8_t* in, std::size_t, std::uint8_t*) {
  gauge.busyFor(getU32(in));
  return 0;
}

// 3: size of the settings structure, of one device record, number of devices.
int sizes(Gauge& gauge, const std::uint8_t*, std::size_t, std::uint8_t* out) {
  putU16(out, 0, kImageSize);
  putU16(out, 2, gauge.eepromVersion() == 16 ? 14 : 18);
  putU16(out, 4, static_cast<std::uint32_t>(devices().size()));
  return 6;
}

// 4: thirteen 16-bit counters; the converter and calculation counters run with time.
int counters(Gauge& gauge, const std::uint8_t*, std::size_t, std::uint8_t* out) {
  const double seconds = gauge.uptimeSeconds();
  const std::uint32_t presses = gauge.keypadPresses;
  const std::uint32_t values[13] = {
      presses,
      presses / 2,
      presses / 4,
      presses / 8,
      presses / 16,
      presses / 32,
      presses / 64,
      0,
      0,
      static_cast<std::uint32_t>(seconds * 100),  // converter updates
      static_cast<std::uint32_t>(seconds * 10),   // calculation updates
      presses * 2,                                // keypad interrupts: press and release
      static_cast<std::uint32_t>(seconds * 1000),
  };
  for (std::size_t i = 0; i < 13; ++i) putU16(out, 2 * i, values[i]);
  return 26;
}

// 5: line number, then a zero-terminated text for that line of the display.
int display(Gauge& gauge, const std::uint8_t* in, std::size_t count, std::uint8_t*) {
  if (in[0] != 1 && in[0] != 2) return -1;
  const std::size_t available = std::min(count - 1, kMessageMax);
  const auto end = std::find(in + 1, in + 1 + available, 0);
  gauge.showMessage(in[0], std::string(in + 1, end));
  return 0;
}

// 6: battery reading, mains flag, charging flag.
int battery(Gauge& gauge, const std::uint8_t*, std::size_t, std::uint8_t* out) {
  const BatterySample sample = gauge.battery();
  putU16(out, 0, sample.reading);
  out[2] = sample.mains ? 1 : 0;
  out[3] = sample.charging ? 1 : 0;
  return 4;
}

struct TestEntry {
  std::uint32_t number;
  std::size_t minInput;
  int (*run)(Gauge&, const std::uint8_t*, std::size_t, std::uint8_t*);
};

constexpr TestEntry kTests[] = {
    {1, 9, significantFigures}, {2, 4, delay},   {3, 0, sizes},
    {4, 0, counters},           {5, 1, display}, {6, 0, battery},
};

}  // namespace

int runTest(Gauge& gauge, std::uint32_t number, const std::uint8_t* input, std::size_t count,
            std::uint8_t* out) {
  for (const auto& test : kTests)
    if (test.number == number)
      return count < test.minInput ? -1 : test.run(gauge, input, count, out);
  return -1;
}

}  // namespace qx5::sim
