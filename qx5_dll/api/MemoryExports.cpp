// Memory by address, test routines, the boot switch, the chipset, LCD rows and the tick
// counter. The memory request: big-endian address at 8, count at 12, data from 13.
#include <algorithm>
#include "qx5_export_bodies.h"

#include "qx5_dll/api/ExportFrame.h"

namespace command = qx5::command;
using qx5::api::Command;
using qx5::api::CommandPacket;
using qx5::api::Group;
using qx5::api::ReplyPacket;

namespace {

constexpr Command kTickCount{.code = command::GetQX5TickCount, .group = Group::Early};
constexpr Command kLcdRow{.code = command::GetLcdRow, .group = Group::Early};
constexpr Command kReadMemory{.code = command::UploadMemory, .group = Group::Early};
constexpr Command kWriteMemory{.code = command::DownloadMemory, .group = Group::Early};
constexpr Command kEraseMemory{.code = command::EraseMemory, .group = Group::Early, .length = 14};
constexpr Command kBootSwitch{.code = command::DoBoot, .group = Group::Early, .length = 9};
constexpr Command kRunTest{.code = command::RunTest, .group = Group::Early};
constexpr Command kChipset{.code = command::GetChipset, .group = Group::Early, .length = 8};

constexpr int kAddress = 8, kCount = 12, kData = 13;
constexpr std::uint32_t kFailedNumber = 0xFFFFFFFF;
constexpr std::size_t kLcdRowBytes = 16;
// What a reply can carry after its header, and what a request can carry after the count.
constexpr std::uint32_t kReplyDataMax = qx5::packet::kBufferSize - qx5::packet::kReplyDataOffset;
constexpr std::uint32_t kRequestDataMax = qx5::packet::kBufferSize - kData;
// The caller's test result buffer.
constexpr std::uint32_t kTestResultMax = 48;

auto addressAndCount(std::uint32_t address, std::uint32_t count) {
  return [=](CommandPacket& packet) {
    packet.u32be(kAddress, address);
    packet.u8(kCount, static_cast<std::uint8_t>(count));
  };
}

// Write and test requests carry their bytes and send only as many as they fill.
auto dataRequest(std::uint32_t address, std::uint32_t count, const unsigned char* data) {
  return [=](CommandPacket& packet) {
    addressAndCount(address, count)(packet);
    packet.bytes(kData, data, count);
    packet.setLength(static_cast<std::uint8_t>(kData + count));
  };
}

// Memory write and erase answer "done" in data byte 8; a refusal is said in the error text, as
// the exchange itself went well and nothing else would tell the caller why.
auto doneByte(qx5::LogFunction& scope, const char* what, std::uint32_t address,
              std::uint32_t count) {
  return [&scope, what, address, count](const ReplyPacket& reply) {
    const bool done = reply.u8(8) != 0;
    if (!done)
      scope.Error("the gauge did not %s %u bytes at 0x%06x", what, static_cast<unsigned>(count),
                  static_cast<unsigned>(address));
    return done;
  };
}

std::uint32_t numberAt8(const ReplyPacket& reply) { return reply.u32le(8); }

}  // namespace

uint32_t qx5::exports::GetQX5TickCount(void) {
  QX5_LOG_SCOPE(scope, "GetQX5TickCount", "GetQX5TickCount");
  return qx5::api::runCommand(scope, kTickCount, kFailedNumber, qx5::api::kNoParameters,
                              [&](const ReplyPacket& reply) {
                                const std::uint32_t ticks = numberAt8(reply);
                                scope.Info("GetQX5TickCount = %d", static_cast<int>(ticks));
                                return ticks;
                              });
}

bool qx5::exports::GetLcdRow(unsigned char row, unsigned char* buffer16) {
  QX5_LOG_SCOPE(scope, "GetLcdRow", "GetLcdRow");
  if (!buffer16) return false;
  return qx5::api::runCommand(scope, kLcdRow, false, qx5::api::byteParameter(row),
                              [&](const ReplyPacket& reply) {
                                std::copy_n(reply.bytes(8, kLcdRowBytes), kLcdRowBytes, buffer16);
                                return true;
                              });
}

bool qx5::exports::UploadMemory(uint32_t address, uint32_t count, unsigned char* destination) {
  QX5_LOG_SCOPE(scope, "UploadMemory", "UploadMemory");
  // More than a reply holds would copy past it.
  if (count > kReplyDataMax || (count && !destination)) return false;
  return qx5::api::runCommand(scope, kReadMemory, false, addressAndCount(address, count),
                              [&](const ReplyPacket& reply) {
                                // Fewer bytes than asked for fail the upload, caller's buffer
                                // untouched: a backup must never hold bytes that never came.
                                std::copy_n(reply.bytes(8, count), count, destination);
                                return true;
                              });
}

bool qx5::exports::DownloadMemory(uint32_t address, uint32_t count, const unsigned char* source) {
  QX5_LOG_SCOPE(scope, "DownloadMemory", "DownloadMemory");
  // More than a request holds would read past the packet (and the caller's count byte wraps).
  if (count > kRequestDataMax || (count && !source)) return false;
  return qx5::api::runCommand(scope, kWriteMemory, false, dataRequest(address, count, source),
                              doneByte(scope, "write", address, count));
}

bool qx5::exports::EraseMemory(uint32_t address, uint32_t length) {
  QX5_LOG_SCOPE(scope, "EraseMemory", "EraseMemory");
  // The big-endian address is followed by a little-endian 16-bit length.
  return qx5::api::runCommand(
      scope, kEraseMemory, false,
      [&](CommandPacket& packet) {
        packet.u32be(kAddress, address);
        packet.u16le(kCount, static_cast<std::uint16_t>(length));
      },
      doneByte(scope, "erase", address, length));
}

bool qx5::exports::RunTest(uint32_t test, uint32_t count, const unsigned char* input,
                           uint32_t* resultLength, unsigned char* result48) {
  QX5_LOG_SCOPE(scope, "RunTest", "RunTest");
  if (count > kRequestDataMax || (count && !input) || !resultLength || !result48) return false;
  return qx5::api::runCommand(
      scope, kRunTest, false, dataRequest(test, count, input), [&](const ReplyPacket& reply) {
        std::uint32_t length = reply.u8(qx5::packet::kReplyDataLengthOffset);
        const std::uint32_t inBuffer = reply.count() > qx5::packet::kMinimumReply
                                           ? reply.count() - qx5::packet::kMinimumReply
                                           : 0;
        // Neither more than arrived nor more than the caller's 48 bytes.
        for (std::uint32_t max : {inBuffer, kTestResultMax}) {
          if (length > max) {
            scope.Detail("length is %d, but max in buffer is %d", static_cast<int>(length),
                         static_cast<int>(max));
            length = max;
          }
        }
        std::fill_n(result48, kTestResultMax, 0);
        for (std::uint32_t i = 0; i < length; ++i) result48[i] = reply.u8(8 + static_cast<int>(i));
        *resultLength = length;
        return true;
      });
}

bool qx5::exports::DoBoot(unsigned char mode) {
  QX5_LOG_SCOPE(scope, "DoBoot", "DoBoot");
  return qx5::api::sendCommand(scope, kBootSwitch, qx5::api::byteParameter(mode));
}

uint32_t qx5::exports::GetChipset(void) {
  QX5_LOG_SCOPE(scope, "GetChipset", "GetChipset");
  return qx5::api::runCommand(scope, kChipset, kFailedNumber, qx5::api::kNoParameters, numberAt8);
}
