#include "qx5cmd/diagnostics/FirmwareCounters.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/diagnostics/RequiredExports.h"

namespace qx5cmd {
namespace {

constexpr const char* kCounterLabels[kFirmwareCounters] = {
    "keypad_delay_needed  0 = ", "keypad_delay_needed  1 = ", "keypad_delay_needed  2 = ",
    "keypad_delay_needed  4 = ", "keypad_delay_needed  8 = ", "keypad_delay_needed 16 = ",
    "keypad_delay_needed 32 = ", "keypad_delay_needed 64 = ", "keypad_delay_needed failed = ",
    "atod_updates = ",           "calc_updates = ",           "keypad_interrupts = ",
    "system_counter = ",
};

// The routines ignore their input; one byte keeps the request within a packet.
const std::vector<std::uint8_t> kIgnoredInput(1, 0);

bool readCounters(const char* testName, CounterBlock& block) {
  FirmwareTestOutput output{};
  if (!runFirmwareTest(FirmwareTest::Counters, kIgnoredInput, output)) {
    out("%s: the gauge did not return its counters\n", testName);
    return false;
  }
  block = decodeCounters(output);
  return true;
}

}  // namespace

CounterBlock decodeCounters(const FirmwareTestOutput& output) {
  CounterBlock block{};
  for (std::size_t i = 0; i < kFirmwareCounters; ++i) block[i] = u16At(output, 2 * i);
  return block;
}

std::string nonZeroCounters(const CounterBlock& block) {
  std::string text;
  for (std::size_t i = 0; i < kFirmwareCounters; ++i)
    if (block[i] != 0) text += format("%s%u\n", kCounterLabels[i], block[i]);
  return text;
}

CounterBlock counterDifferences(const CounterBlock& earlier, const CounterBlock& later) {
  CounterBlock difference{};
  for (std::size_t i = 0; i < kFirmwareCounters; ++i)
    difference[i] = static_cast<std::uint16_t>(later[i] - earlier[i]);
  return difference;
}

bool aGetSizes::bind() { return requireExports({{"RunTest", binding().RunTest.get()}}); }

bool aGetSizes::run() {
  FirmwareTestOutput output{};
  if (!runFirmwareTest(FirmwareTest::Sizes, kIgnoredInput, output)) {
    out("%s: the gauge did not return its sizes\n", name);
    return false;
  }
  out("sizeof dbee = %u\n", u16At(output, 0));
  out("sizeof device = %u\n", u16At(output, 2));
  out("num_devices = %u\n", u16At(output, 4));
  return true;
}

bool aGetTiming::bind() { return requireExports({{"RunTest", binding().RunTest.get()}}); }

bool aGetTiming::run() {
  CounterBlock first{};
  if (!readCounters(name, first)) return false;
  outText(nonZeroCounters(first).c_str());
  outText(" -- waiting ten seconds --\n");
  outFlush();
  if (!sleepUnlessBreak(kTimingWaitMs)) return false;
  CounterBlock later{};
  if (!readCounters(name, later)) return false;
  outText(nonZeroCounters(counterDifferences(first, later)).c_str());
  return true;
}

}  // namespace qx5cmd
