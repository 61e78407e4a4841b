// The command packet exchange of one gauge: write, read, check the echo, retry once.
#include <cstring>

#include "qx5_dll/diagnostics/HexDump.h"
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5 {

namespace {
constexpr const char* kSecondTryPrefix = " second try ";
constexpr std::uint32_t kFlushScratchSize = 200;
constexpr std::uint8_t kFlushScratchFill = 0xAE;

// One SendReceivePacket call: the packet, the caller's reply buffer and the log scope its lines
// go to. An attempt writes the command, reads the reply and judges it.
class PacketExchange {
 public:
  enum class Verdict { Accepted, Mismatched, Failed };

  PacketExchange(DEVICE_DATA& device, LogFunction& scope, const std::uint8_t* packet, int length,
                 std::uint8_t* reply, std::uint32_t capacity)
      : device_(device),
        scope_(scope),
        packet_(packet),
        length_(length),
        reply_(reply),
        capacity_(capacity),
        marker_(packet[packet::kMarkerOffset]),
        // One-byte packets (reset, version query) have no command byte to show or compare.
        command_(length > packet::kCommandOffset ? packet[packet::kCommandOffset] : 0) {}

  Verdict attempt(const char* prefix, std::uint32_t& replyLength) {
    replyLength = 0;
    if (!write(prefix)) return Verdict::Failed;
    if (marker_ == packet::kResetMarker) return Verdict::Accepted;
    if (!read(prefix, replyLength)) return Verdict::Failed;
    if (marker_ != packet::kMarker) return Verdict::Accepted;
    return judge(prefix, replyLength);
  }

 private:
  bool write(const char* prefix) {
    scope_.Detail("%sSending command %d (0x%02x)", prefix, command_, command_);
    if (scope_.IsEnabled(kLogDebug)) {
      scope_.Detail("%ssending %2d bytes %s", prefix, length_,
                    FormatHexBytes(dump_, sizeof dump_, packet_, length_));
    }
    UsbPlatform* usb = device_.usb;
    std::uint32_t written = 0;
    if (usb && usb->writePipe(device_.winUsbHandle, device_.pipeOutId, packet_,
                              static_cast<std::uint32_t>(length_), written))
      return true;
    scope_.ErrorWithCode(usb ? usb->lastError() : platform::kErrorInvalidHandle,
                         "%serror sending data", prefix);
    device_.lost.store(true, std::memory_order_relaxed);
    return false;
  }

  bool read(const char* prefix, std::uint32_t& replyLength) {
    scope_.Detail("%scalling WinUsb_ReadPipe", prefix);
    UsbPlatform* usb = device_.usb;
    std::uint32_t received = 0;
    const bool readOk =
        usb->readPipe(device_.winUsbHandle, device_.pipeInId, reply_, capacity_, received);
    const int readError = readOk ? 0 : usb->lastError();
    if (received > capacity_) received = capacity_;  // whatever a binding claims
    replyLength = received;
    if (!readOk) {
      scope_.ErrorWithCode(readError, "%serror reading data", prefix);
      if (scope_.IsEnabled(kLogError)) {
        scope_.Error("%ssent: %2d bytes %s", prefix, length_,
                     FormatHexBytes(dump_, sizeof dump_, packet_, length_));
      }
      return false;
    }
    if (scope_.IsEnabled(kLogDebug)) {
      scope_.Detail("%sreading %2d bytes %s", prefix, static_cast<int>(received),
                    FormatHexBytes(dump_, sizeof dump_, reply_, received));
    }
    return true;
  }

  // A command reply is accepted when it is long enough and echoes the command (or the 6 of
  // firmware 1.94); otherwise both packets go to the log.
  Verdict judge(const char* prefix, std::uint32_t received) {
    if (received < packet::kMinimumReply) {
      scope_.Error(
          "%sincomplete reply, sent command %d (0x%02x), received only %d bytes in reply "
          "(require at least 8)",
          prefix, command_, command_, static_cast<int>(received));
    } else {
      const int echo = reply_[packet::kReplyCommandOffset];
      if (echo == command_) return Verdict::Accepted;
      if (echo == packet::kLegacyEcho) {
        scope_.Detail(
            "%ssent command %d (0x%02x), but received %d (0x%02x) back -- but this is ok for "
            "firmware 1.94",
            prefix, command_, command_, echo, echo);
        return Verdict::Accepted;
      }
      scope_.Error("%spacket mismatch sent command %d (0x%02x), received command %d (0x%02x)",
                   prefix, command_, command_, echo, echo);
    }
    if (scope_.IsEnabled(kLogError)) {
      scope_.Error("%ssent: %2d bytes %s", prefix, length_,
                   FormatHexBytes(dump_, sizeof dump_, packet_, length_));
      scope_.Error("%srecv: %2d bytes %s", prefix, static_cast<int>(received),
                   FormatHexBytes(dump_, sizeof dump_, reply_, received));
    }
    return Verdict::Mismatched;
  }

  DEVICE_DATA& device_;
  LogFunction& scope_;
  const std::uint8_t* packet_;
  int length_;
  std::uint8_t* reply_;
  std::uint32_t capacity_;
  std::uint8_t marker_;
  int command_;
  char dump_[kHexDumpSize];
};

}  // namespace

bool DEVICE_DATA::SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                                    std::uint32_t& replyLength) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  const std::uint32_t capacity = reply ? replyLength : 0;
  replyLength = 0;
  if (!lockedByThisThread()) {
    exchangesWithoutLock.fetch_add(1, std::memory_order_relaxed);
  }
  if (!packet || length <= 0) {
    scope.Error("nothing to send: packet of %d bytes", length);
    return false;
  }
  using Verdict = PacketExchange::Verdict;
  PacketExchange exchange(*this, scope, packet, length, reply, capacity);
  Verdict verdict = exchange.attempt("", replyLength);
  if (verdict == Verdict::Mismatched) {  // the reply is flushed and the packet sent once more
    FlushInputPipe();
    scope.Info("retrying");
    verdict = exchange.attempt(kSecondTryPrefix, replyLength);
    if (verdict == Verdict::Mismatched) FlushInputPipe();
  }
  return verdict == Verdict::Accepted;
}

bool DEVICE_DATA::FlushInputPipe() {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::FlushInputPipe", "FlushInputPipe");
  std::uint8_t scratch[kFlushScratchSize];
  std::memset(scratch, kFlushScratchFill, sizeof scratch);
  scope.Info("calling WinUsb_ReadPipe");
  if (!usb) return true;
  std::uint32_t received = 0;
  if (usb->readPipe(winUsbHandle, pipeInId, scratch, sizeof scratch, received)) {
    if (received > sizeof scratch) received = sizeof scratch;
    if (received > 0 && IsLogLevelEnabled(kLogInfo)) {
      char dump[kHexDumpSize];
      scope.Info("flushed %2d bytes %s", static_cast<int>(received),
                 FormatHexBytes(dump, sizeof dump, scratch, received));
    }
    return true;
  }
  const int error = usb->lastError();
  if (usb->isTimeout(error)) {
    scope.Info("no data to read in FlushInputPipe (expected result)");
  } else {
    scope.ErrorWithCode(error, "error calling WinUsb_ReadPipe while flushing pipe");
  }
  return true;
}

}  // namespace qx5
