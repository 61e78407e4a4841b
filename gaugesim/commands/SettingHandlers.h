// Command handlers for settings that are one plain field, read or written at data byte 8; the
// command tables of several families share them.
#pragma once

#include <cstdint>

#include "gaugesim/commands/PacketIo.h"
#include "gaugesim/model/Gauge.h"

namespace qx5::sim {

// A plain flag setting: byte 8 non-zero switches it on.
template <bool Settings::*Member>
void setFlag(Gauge& gauge, const Request& request, Reply&) {
  gauge.settings.*Member = request.u8(8) != 0;
}

template <bool Settings::*Member>
void getFlag(Gauge& gauge, const Request&, Reply& reply) {
  reply.u8(8, gauge.settings.*Member ? 1 : 0);
}

template <std::uint8_t Settings::*Member>
void setByte(Gauge& gauge, const Request& request, Reply&) {
  gauge.settings.*Member = request.u8(8);
}

template <std::uint8_t Settings::*Member>
void getByte(Gauge& gauge, const Request&, Reply& reply) {
  reply.u8(8, gauge.settings.*Member);
}

}  // namespace qx5::sim
