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
}  // namespace

bool DEVICE_DATA::SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                                    std::uint32_t& replyLength) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  const std::uint32_t capacity = reply ? replyLength : 0;
  replyLength = 0;
  if (!packet || length <= 0) {
    scope.Error("nothing to send: packet of %d bytes", length);
    return false;
  }
  // One-byte packets (reset, version query) have no command byte to show or compare.
  const std::uint8_t marker = packet[packet::kMarkerOffset];
  const int command = length > packet::kCommandOffset ? packet[packet::kCommandOffset] : 0;
  char dump[kHexDumpSize];
  const char* prefix = "";
  bool firstAttempt = true;

  for (;;) {
    replyLength = 0;
    bool retry = false;

    scope.Detail("%sSending command %d (0x%02x)", prefix, command, command);
    if (scope.IsEnabled(kLogDebug)) {
      scope.Detail("%ssending %2d bytes %s", prefix, length,
                   FormatHexBytes(dump, sizeof dump, packet, length));
    }
    std::uint32_t written = 0;
    if (!usb || !usb->writePipe(winUsbHandle, pipeOutId, packet, static_cast<std::uint32_t>(length),
                                written)) {
      scope.ErrorWithCode(usb ? usb->lastError() : platform::kErrorInvalidHandle,
                          "%serror sending data", prefix);
      return false;
    }
    if (marker == packet::kResetMarker) return true;

    scope.Detail("%scalling WinUsb_ReadPipe", prefix);
    std::uint32_t received = 0;
    const bool readOk = usb->readPipe(winUsbHandle, pipeInId, reply, capacity, received);
    const int readError = readOk ? 0 : usb->lastError();
    if (received > capacity) received = capacity;  // whatever a binding claims
    replyLength = received;
    if (!readOk) {
      scope.ErrorWithCode(readError, "%serror reading data", prefix);
      if (scope.IsEnabled(kLogError)) {
        scope.Error("%ssent: %2d bytes %s", prefix, length,
                    FormatHexBytes(dump, sizeof dump, packet, length));
      }
      return false;
    }
    if (scope.IsEnabled(kLogDebug)) {
      scope.Detail("%sreading %2d bytes %s", prefix, static_cast<int>(received),
                   FormatHexBytes(dump, sizeof dump, reply, received));
    }
    if (marker != packet::kMarker) return true;

    if (received < packet::kMinimumReply) {
      scope.Error(
          "%sincomplete reply, sent command %d (0x%02x), received only %d bytes in reply "
          "(require at least 8)",
          prefix, command, command, static_cast<int>(received));
    } else {
      const int echo = reply[packet::kReplyCommandOffset];
      if (echo == command) return true;
      if (echo == packet::kLegacyEcho) {
        scope.Detail(
            "%ssent command %d (0x%02x), but received %d (0x%02x) back -- but this is ok for "
            "firmware 1.94",
            prefix, command, command, echo, echo);
        return true;
      }
      scope.Error("%spacket mismatch sent command %d (0x%02x), received command %d (0x%02x)",
                  prefix, command, command, echo, echo);
    }
    if (scope.IsEnabled(kLogError)) {
      scope.Error("%ssent: %2d bytes %s", prefix, length,
                  FormatHexBytes(dump, sizeof dump, packet, length));
      scope.Error("%srecv: %2d bytes %s", prefix, static_cast<int>(received),
                  FormatHexBytes(dump, sizeof dump, reply, received));
    }

    FlushInputPipe();
    if (firstAttempt) {
      scope.Info("retrying");
      retry = true;
    }
    prefix = kSecondTryPrefix;
    firstAttempt = false;
    if (!retry) return false;
  }
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
