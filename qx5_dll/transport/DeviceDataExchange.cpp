// Provisional exchange so discovery can be exercised; the full exchange (retry, flush, dumps)
// replaces this file.
#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/transport/Packet.h"

namespace qx5 {

bool DEVICE_DATA::SendReceivePacket(const std::uint8_t* packet, int length, std::uint8_t* reply,
                                    std::uint32_t& replyLength) {
  QX5_LOG_SCOPE(scope, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  const std::uint32_t capacity = replyLength;
  replyLength = 0;
  std::uint32_t written = 0;
  if (!usb->writePipe(winUsbHandle, pipeOutId, packet, static_cast<std::uint32_t>(length),
                      written)) {
    scope.ErrorWithCode(usb->lastError(), "%serror sending data", "");
    return false;
  }
  if (packet[0] == qx5::packet::kResetMarker) return true;
  if (!usb->readPipe(winUsbHandle, pipeInId, reply, capacity, replyLength)) {
    scope.ErrorWithCode(usb->lastError(), "%serror reading data", "");
    return false;
  }
  if (packet[0] != qx5::packet::kMarker) return true;
  return replyLength >= qx5::packet::kMinimumReply &&
         (reply[7] == packet[7] || reply[7] == qx5::packet::kLegacyEcho);
}

bool DEVICE_DATA::FlushInputPipe() {
  std::uint8_t scratch[200];
  std::uint32_t received = 0;
  usb->readPipe(winUsbHandle, pipeInId, scratch, sizeof scratch, received);
  return true;
}

}  // namespace qx5
