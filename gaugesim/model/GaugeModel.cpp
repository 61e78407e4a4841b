#include "gaugesim/model/GaugeModel.h"

namespace qx5::sim {

Settings::Settings() {
  hardwareSlopes.fill(128);
  for (auto& entry : softwareSlopes) entry = {3.0f, 3.0f};  // slope 1023
}

const std::vector<Device>& devices() {
  static const std::vector<Device> kDevices = {
      {"Fan Model 3", {"Open", "Ring A", "Ring B", "Ring C"}, 6.2f},
      {"Fan Model 4", {"Open", "Ring A", "Ring B"}, 7.5f},
      {"Duct Fan", {"Open", "Ring 1", "Ring 2", "Ring 3", "Ring 4"}, 2.4f},
      {"Pressure Only", {"None"}, 0.0f},
  };
  return kDevices;
}

std::string rangeList(const Device& device) {
  std::string text;
  for (const auto& range : device.ranges) {
    if (!text.empty()) text += ',';
    text += range;
  }
  return text;
}

std::string_view timeAverageName(std::uint8_t mode) {
  static constexpr std::string_view kNames[kTimeAverageModes] = {"Off", "1s",  "2s", "4s", "8s",
                                                                 "10s", "20s", "1m", "2m"};
  return mode < kTimeAverageModes ? kNames[mode] : "new";
}

}  // namespace qx5::sim
