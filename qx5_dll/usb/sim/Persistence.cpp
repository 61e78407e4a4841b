#include "qx5_dll/usb/sim/Persistence.h"

namespace qx5::sim {
namespace {

constexpr auto kMemorySaveInterval = std::chrono::milliseconds(200);
constexpr std::uint8_t kMemoryWrite = 73;
constexpr std::uint8_t kMemoryErase = 74;

}  // namespace

void saveAfterPacket(Environment& environment, Gauge& gauge, std::uint8_t command,
                     TimePoint& lastSave) {
  if (!gauge.dirty() || !environment.keepsState()) return;
  const TimePoint now = SteadyClock::now();
  const bool burst = command == kMemoryWrite || command == kMemoryErase;
  if (burst && now - lastSave < kMemorySaveInterval) return;
  environment.save(gauge);
  lastSave = now;
}

}  // namespace qx5::sim
