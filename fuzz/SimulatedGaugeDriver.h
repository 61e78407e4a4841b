// A simulated gauge on a clock that moves only when a fuzz target says so, so that one input
// always runs the same way, and the packets the targets send it.
#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5::fuzz {

struct ManualClock {
  sim::TimePoint now{std::chrono::hours(1)};
  sim::ClockSource source() {
    return [this] { return now; };
  }
  void advance(std::chrono::milliseconds by) { now += by; }
};

// A default-length command packet for `code` with the given parameter bytes from offset 8.
inline std::vector<std::uint8_t> commandPacket(std::uint8_t code,
                                               std::vector<std::uint8_t> parameters = {}) {
  std::vector<std::uint8_t> packet(packet::kDefaultLength, 0);
  packet[packet::kMarkerOffset] = packet::kMarker;
  packet[packet::kLengthOffset] = packet::kDefaultLength;
  packet[2] = packet::kFixed2;
  packet[3] = packet::kFixed3;
  packet[4] = packet::kFixed4;
  packet[packet::kParamLengthOffset] = packet::kDefaultParamLength;
  packet[packet::kCommandOffset] = code;
  std::copy_n(parameters.begin(),
              std::min<std::size_t>(parameters.size(), packet.size() - packet::kParamsOffset),
              packet.begin() + packet::kParamsOffset);
  return packet;
}

// The reply to `packet`; aborts when the gauge claims more than a packet holds.
inline std::vector<std::uint8_t> exchange(sim::Gauge& gauge, const std::vector<std::uint8_t>& p) {
  std::vector<std::uint8_t> reply(packet::kBufferSize + 16, 0xA5);
  const std::size_t length = gauge.handle(p.data(), p.size(), reply.data(), packet::kBufferSize);
  if (length > packet::kBufferSize) std::abort();
  for (std::size_t i = packet::kBufferSize; i < reply.size(); ++i)
    if (reply[i] != 0xA5) std::abort();
  reply.resize(length);
  return reply;
}

// Runs the fan loop toward a target for a while and insists the pressures stay numbers.
inline void checkPressuresStayFinite(sim::Gauge& gauge, ManualClock& clock) {
  exchange(gauge, commandPacket(command::SetRoomPressure, {20, 0}));
  for (int step = 0; step < 5; ++step) {
    clock.advance(std::chrono::milliseconds(400));
    for (std::uint8_t port : {0, 1}) {
      std::vector<std::uint8_t> request = commandPacket(command::ReadPressure);
      request[16] = port;  // where the pressure request names its port
      const std::vector<std::uint8_t> reply = exchange(gauge, request);
      if (reply.size() >= 12 && reply[packet::kReplyStatusOffset] != 0xFF) {
        float value;
        std::memcpy(&value, reply.data() + 8, sizeof value);
        if (!std::isfinite(value)) std::abort();
      }
    }
  }
}

}  // namespace qx5::fuzz
