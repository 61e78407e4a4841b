// An EEPROM image as it comes from a gauge or a backup: any bytes, then describing it and
// bringing it to either layout; a converted image must keep its serial number and validity.
#include <algorithm>
#include <cstdlib>

#include "FuzzInput.h"
#include "qx5cmd/firmware/Eeprom.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  qx5::fuzz::FuzzInput input(data, size);
  const int target = input.byte() & 1 ? 17 : 16;
  const std::int32_t expected = static_cast<std::int32_t>(input.u32());
  EEPROM eeprom(expected, "fuzz", [] { return 2026; });
  const std::vector<std::uint8_t> image = input.bytes(EEPROM::kSize);
  std::copy(image.begin(), image.end(), eeprom.image().begin());

  const bool valid = eeprom.isValid();
  const std::int32_t serial = eeprom.imageSerial();
  eeprom.isCalibrated();
  eeprom.calibrationDate();
  eeprom.describe();
  eeprom.fileName("stem");
  if (!valid || (eeprom.version() != 16 && eeprom.version() != 17)) return 0;
  eeprom.conformToVersion(target);
  if (eeprom.version() != target || eeprom.imageSerial() != serial || !eeprom.isValid())
    std::abort();
  eeprom.describe();
  return 0;
}
