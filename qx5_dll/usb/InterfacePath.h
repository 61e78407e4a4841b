// The gauge's device interface class and the Windows-style interface path every USB platform
// reports for a gauge, so the transport's filter and the log read the same on every platform.
#pragma once

#include <cstdint>
#include <string>

namespace qx5 {

// The class GUID as SetupAPI takes it, field by field, and as interface paths spell it.
struct InterfaceClassGuid {
  std::uint32_t data1;
  std::uint16_t data2;
  std::uint16_t data3;
  std::uint8_t data4[8];
};
inline constexpr InterfaceClassGuid kGaugeInterfaceClass = {
    0x5354FA28, 0x6D14, 0x4E35, {0xA1, 0xF5, 0x75, 0xBB, 0x54, 0xE6, 0x03, 0x0F}};
inline constexpr const char* kGaugeInterfaceClassText = "{5354fa28-6d14-4e35-a1f5-75bb54e6030f}";

// "usb#<ids>#<instance>#<class>", e.g. ids "vid_04d8&pid_000c" and instance "1-4.2"; `prefix`
// is what comes before "usb#" ("\\?\" in the Win32 device namespace, or nothing).
inline std::string gaugeInterfacePath(const std::string& ids, const std::string& instance,
                                      const char* prefix = "") {
  return std::string(prefix) + "usb#" + ids + "#" + instance + "#" + kGaugeInterfaceClassText;
}

}  // namespace qx5
