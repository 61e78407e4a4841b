#include "qx5cmd/firmware/ProgressMeter.h"

#include <algorithm>
#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {

ProgressMeter::ProgressMeter()
    : sink_([](const std::string& text) {
        outText(text.c_str());
        outFlush();
      }) {}

void ProgressMeter::reset(TransferKind kind, std::uint32_t expected) {
  countedKind_ = static_cast<std::uint8_t>(kind);
  expected_ = expected;
  lastKind_ = kNoKind;
  nextAddress_ = kNoAddress;
  lastShown_ = -1;
  counted_ = 0;
}

void ProgressMeter::update(TransferKind kind, std::uint32_t address, std::uint32_t count) {
  const auto k = static_cast<std::uint8_t>(kind);
  if (k != lastKind_ || address != nextAddress_) {
    lastKind_ = k;
    lastShown_ = -1;
  }
  // 64-bit: a count near 4 GiB times 1000 would wrap in 32 bits.
  const std::uint64_t ratio = expected_ == 0 ? 0 : std::uint64_t{counted_} * 1000 / expected_;
  const auto perMille = static_cast<std::int16_t>(std::min<std::uint64_t>(ratio, 1000));
  if (perMille != lastShown_) {
    lastShown_ = perMille;
    sink_(format("%5.1f %%", perMille / 10.0) + std::string(7, '\b'));
  }
  if (k == countedKind_) counted_ += count;
  nextAddress_ = address + count;
}

}  // namespace qx5cmd
