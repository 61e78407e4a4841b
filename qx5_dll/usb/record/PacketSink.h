// Where a recording goes: the text format or a USB capture. Told of each gauge once, of its
// identity as it passes, and of every packet; a sink never fails its caller.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

#include "qx5_dll/usb/RecordingFormat.h"

namespace qx5::usb {

class PacketSink {
 public:
  virtual ~PacketSink() = default;
  // A gauge opened for the first time in this process, numbered from 0.
  virtual void gauge(int gauge, const std::string& path) = 0;
  // An identity fact ("serial", "firmware", "chipset") seen for the first time.
  virtual void identity(int gauge, const std::string& key, const std::string& value) = 0;
  virtual void packet(int gauge, recording::Direction direction, std::uint8_t endpoint,
                      const std::uint8_t* bytes, std::size_t count) = 0;
};

}  // namespace qx5::usb
