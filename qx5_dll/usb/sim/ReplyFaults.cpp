#include "qx5_dll/usb/sim/ReplyFaults.h"

#include "qx5_dll/usb/CommandCodes.h"
#include "qx5_dll/usb/Packet.h"

namespace qx5::sim {
namespace {
constexpr std::size_t kShortReply = 7;
}  // namespace

void applyReplyFaults(const Faults& faults, bool inBootloader, bool& mismatchSpent,
                      Response& response, const std::uint8_t* packet, std::uint32_t length) {
  const bool hasEcho = length > packet::kCommandOffset && packet[0] == packet::kMarker &&
                       response.bytes.size() > packet::kReplyCommandOffset;
  const bool unansweredChipset = faults.chipsetInBootloaderOnly && hasEcho &&
                                 packet[packet::kCommandOffset] == command::GetChipset &&
                                 !inBootloader;
  if (faults.silent || unansweredChipset) {
    response.replies = false;
    return;
  }
  if (hasEcho) {
    std::uint8_t& echo = response.bytes[packet::kReplyCommandOffset];
    const std::uint8_t command = packet[packet::kCommandOffset];
    if (faults.echo6) echo = packet::kLegacyEcho;
    if (faults.mismatch || (faults.mismatchOnce && !mismatchSpent)) echo = wrongEcho(command);
    mismatchSpent = true;
  }
  if (faults.shortReplies && response.bytes.size() > kShortReply)
    response.bytes.resize(kShortReply);
}

}  // namespace qx5::sim
