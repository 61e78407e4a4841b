// The bus speed a device reports, numbered as WinUSB numbers it.
#pragma once

#include <cstdint>

namespace qx5 {

enum class UsbSpeed : std::uint8_t { Low = 1, Full = 2, High = 3 };

}  // namespace qx5
