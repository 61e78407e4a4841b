// The memory tools' view of a simulated gauge model in this process: every call is one packet
// exchange in the library's request layout, and the gauge can be made to vanish after a given
// number of packets, as a cable pulled at that moment.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>
#include <string>

#include "gaugesim/model/Gauge.h"
#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"
#include "qx5cmd/firmware/MemoryGauge.h"

namespace qx5::cutpoints {

class ModelMemoryGauge : public qx5cmd::MemoryGauge {
 public:
  explicit ModelMemoryGauge(sim::Gauge& gauge) : gauge_(gauge) {}

  // After `packets` more exchanges the gauge is gone; -1: never.
  void vanishAfter(long packets) { left_ = packets; }
  long exchanges() const { return exchanges_; }

  bool upload(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer) override {
    Packet request = memoryRequest(command::UploadMemory, address, count, nullptr);
    request.length = 36;
    if (!exchange(request)) return false;
    std::copy_n(reply_.begin() + packet::kReplyDataOffset, count, buffer);
    return true;
  }
  bool download(std::uint32_t address, std::uint32_t count, const std::uint8_t* data) override {
    return exchange(memoryRequest(command::DownloadMemory, address, count, data)) && reply_[8];
  }
  bool erase(std::uint32_t address, std::uint32_t length) override {
    Packet request = memoryRequest(command::EraseMemory, address, 0, nullptr);
    request.bytes[12] = static_cast<std::uint8_t>(length);
    request.bytes[13] = static_cast<std::uint8_t>(length >> 8);
    request.length = 14;
    return exchange(request) && reply_[8];
  }
  bool doBoot(std::uint8_t mode) override {
    Packet request = plain(command::DoBoot, 9);
    request.bytes[8] = mode;
    return exchange(request);
  }
  std::string firmwareVersion() override {
    if (!exchange(plain(command::GetQX5FirmwareVersion, 36))) return {};
    const std::size_t length = std::min<std::size_t>(reply_[packet::kReplyDataLengthOffset], 40);
    return std::string(reinterpret_cast<const char*>(&reply_[8]), length);
  }
  std::string errorMessage() override { return {}; }
  int serialNumber() override {
    return exchange(plain(command::GetSerialNumber, 36)) ? number() : -1;
  }
  int chipset() override { return exchange(plain(command::GetChipset, 8)) ? number() : -1; }
  bool show(int line, const std::string& text) override {
    std::uint8_t input[31] = {static_cast<std::uint8_t>(line)};
    std::memcpy(input + 1, text.data(), std::min<std::size_t>(text.size(), 29));
    return exchange(memoryRequest(command::RunTest, 5, sizeof input, input));
  }

 private:
  struct Packet {
    std::array<std::uint8_t, packet::kBufferSize> bytes{};
    std::size_t length = 0;
  };

  static Packet plain(std::uint8_t code, std::size_t length) {
    Packet p;
    const std::uint8_t header[] = {packet::kMarker,
                                   static_cast<std::uint8_t>(length),
                                   packet::kFixed2,
                                   packet::kFixed3,
                                   packet::kFixed4,
                                   packet::kDefaultParamLength,
                                   0,
                                   code};
    std::memcpy(p.bytes.data(), header, sizeof header);
    p.length = length;
    return p;
  }
  // Big-endian address at 8, count at 12, data from 13.
  static Packet memoryRequest(std::uint8_t code, std::uint32_t address, std::uint32_t count,
                              const std::uint8_t* data) {
    Packet p = plain(code, 13 + (data ? count : 0));
    for (int i = 0; i < 4; ++i) p.bytes[8 + i] = static_cast<std::uint8_t>(address >> (24 - 8 * i));
    p.bytes[12] = static_cast<std::uint8_t>(count);
    if (data) std::copy_n(data, count, p.bytes.begin() + 13);
    return p;
  }
  int number() const {
    std::uint32_t value = 0;
    for (int i = 3; i >= 0; --i) value = value << 8 | reply_[8 + i];
    return static_cast<int>(value);
  }
  // The library's test of a reply: long enough and echoing the command (or the legacy echo).
  bool exchange(Packet& request) {
    request.bytes[packet::kLengthOffset] = static_cast<std::uint8_t>(request.length);
    if (left_ == 0) return false;
    if (left_ > 0) --left_;
    ++exchanges_;
    reply_.fill(0);
    const std::size_t got =
        gauge_.handle(request.bytes.data(), request.length, reply_.data(), reply_.size());
    const std::uint8_t echo = reply_[packet::kReplyCommandOffset];
    return got >= packet::kMinimumReply &&
           (echo == request.bytes[packet::kCommandOffset] || echo == packet::kLegacyEcho);
  }
  bool exchange(Packet&& request) { return exchange(request); }

  sim::Gauge& gauge_;
  long left_ = -1;
  long exchanges_ = 0;
  std::array<std::uint8_t, packet::kBufferSize> reply_{};
};

}  // namespace qx5::cutpoints
