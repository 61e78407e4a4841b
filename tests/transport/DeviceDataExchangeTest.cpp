#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <string>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/transport/DeviceData.h"
#include "qx5_dll/usb/Packet.h"
#include "support/LogCapture.h"
#include "support/ScriptedUsbPlatform.h"

using testing::AllOf;
using testing::Contains;
using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace qx5 {
namespace {

using test::ScriptedUsbPlatform;

constexpr std::uint8_t kCommand = 24;
constexpr InterfaceHandle kInterface = 7;
constexpr std::uint8_t kPipeIn = 0x81;
constexpr std::uint8_t kPipeOut = 0x01;

std::array<std::uint8_t, packet::kBufferSize> defaultPacket(std::uint8_t command) {
  std::array<std::uint8_t, packet::kBufferSize> p{};
  const std::uint8_t header[] = {packet::kMarker,
                                 packet::kDefaultLength,
                                 packet::kFixed2,
                                 packet::kFixed3,
                                 packet::kFixed4,
                                 packet::kDefaultParamLength,
                                 0,
                                 command};
  std::copy(std::begin(header), std::end(header), p.begin());
  return p;
}

int countContaining(const std::vector<std::string>& lines, const std::string& text) {
  return static_cast<int>(std::count_if(lines.begin(), lines.end(), [&](const std::string& l) {
    return l.find(text) != std::string::npos;
  }));
}

class DeviceDataExchangeTest : public testing::Test {
 protected:
  DeviceDataExchangeTest() {
    device_.winUsbHandle = kInterface;
    device_.pipeInId = kPipeIn;
    device_.pipeOutId = kPipeOut;
  }
  void TearDown() override { logInit(kLogOff, nullptr, false); }

  // Sends the default packet of kCommand with logging off.
  bool send(std::uint32_t capacity = packet::kBufferSize) {
    replyLength_ = capacity;
    return device_.SendReceivePacket(packet_.data(), packet::kDefaultLength, reply_.data(),
                                     replyLength_);
  }
  // The same at `level` to standard output; returns the lines, keeps the error text.
  std::vector<std::string> sendLogged(int level, bool& result) {
    return test::logLinesAt(level, [&] {
      result = send();
      errorText_ = ErrorText();
    });
  }

  ScriptedUsbPlatform usb_;
  DEVICE_DATA device_{&usb_, 0};
  std::array<std::uint8_t, packet::kBufferSize> packet_ = defaultPacket(kCommand);
  std::array<std::uint8_t, packet::kBufferSize> reply_{};
  std::uint32_t replyLength_ = 0;
  std::string errorText_;
};

TEST_F(DeviceDataExchangeTest, EightByteEchoIsAccepted) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  EXPECT_TRUE(send());
  EXPECT_EQ(replyLength_, 8u);
  EXPECT_THAT(usb_.calls, ElementsAre("write 36", "read 64"));
  ASSERT_EQ(usb_.writes.size(), 1u);
  EXPECT_EQ(usb_.writes[0].pipeId, kPipeOut);
  EXPECT_EQ(usb_.writes[0].data, std::vector<std::uint8_t>(packet_.begin(), packet_.begin() + 36));
  EXPECT_THAT(usb_.readPipes, ElementsAre(kPipeIn));
  EXPECT_EQ(usb_.lastInterface, kInterface);
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(DeviceDataExchangeTest, ShortReplyIsFlushedAndTheSamePacketSentAgain) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 7));
  usb_.queueFailure(platform::kErrorTimeout);  // the flush finds nothing
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 12));
  bool ok = false;
  const auto lines = sendLogged(kLogInfo, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(replyLength_, 12u);
  EXPECT_THAT(usb_.calls, ElementsAre("write 36", "read 64", "read 200", "write 36", "read 64"));
  EXPECT_EQ(usb_.writes[0].data, usb_.writes[1].data);
  EXPECT_EQ(errorText_,
            " SendReceivePacket incomplete reply, sent command 24 (0x18), received only 7 bytes in "
            "reply (require at least 8)\n"
            " SendReceivePacket sent: 36 bytes 38 24 01 01 0b 1e 00 18 00 00 .. (28 00's)\n"
            " SendReceivePacket recv:  7 bytes 00 00 00 00 00 00 00 \n");
  EXPECT_THAT(lines, Contains(HasSubstr("no data to read in FlushInputPipe (expected result)")));
  EXPECT_THAT(lines, Contains(HasSubstr("SendReceivePacket retrying")));
}

TEST_F(DeviceDataExchangeTest, EchoSixIsAcceptedForAnyCommand) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(packet::kLegacyEcho, 8));
  bool ok = false;
  const auto lines = sendLogged(kLogDebug, ok);
  EXPECT_TRUE(ok);
  EXPECT_EQ(errorText_, "");
  EXPECT_THAT(lines, Contains(HasSubstr("sent command 24 (0x18), but received 6 (0x06) back -- "
                                        "but this is ok for firmware 1.94")));
  EXPECT_THAT(usb_.calls, ElementsAre("write 36", "read 64"));
}

TEST_F(DeviceDataExchangeTest, MismatchThenGoodReplyRetriesWithPrefixedLines) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(25, 8));
  usb_.queueReply({0x01, 0x02});  // stale bytes the flush picks up
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  bool ok = false;
  const auto lines = sendLogged(kLogTrace, ok);
  EXPECT_TRUE(ok);
  EXPECT_THAT(usb_.calls, ElementsAre("write 36", "read 64", "read 200", "write 36", "read 64"));
  EXPECT_THAT(errorText_, HasSubstr(" SendReceivePacket packet mismatch sent command 24 (0x18), "
                                    "received command 25 (0x19)\n"));
  EXPECT_THAT(errorText_, Not(HasSubstr("second try")));
  EXPECT_EQ(countContaining(lines, "SendReceivePacket retrying"), 1);
  EXPECT_EQ(countContaining(lines, "flushed  2 bytes 01 02 "), 1);
  EXPECT_EQ(countContaining(lines, "SendReceivePacket Sending command 24 (0x18)"), 1);
  EXPECT_EQ(countContaining(lines, "SendReceivePacket  second try Sending command 24 (0x18)"), 1);
  EXPECT_EQ(countContaining(lines, "SendReceivePacket  second try sending 36 bytes 38 24"), 1);
  EXPECT_EQ(countContaining(lines, "SendReceivePacket  second try calling WinUsb_ReadPipe"), 1);
  EXPECT_EQ(countContaining(lines, "SendReceivePacket  second try reading  8 bytes 00 00"), 1);
}

TEST_F(DeviceDataExchangeTest, TwoBadRepliesGiveTwoFlushesAndFalse) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(25, 8));
  usb_.queueFailure(platform::kErrorTimeout);
  usb_.queueReply(ScriptedUsbPlatform::echoReply(26, 8));
  usb_.queueFailure(platform::kErrorTimeout);
  bool ok = true;
  const auto lines = sendLogged(kLogInfo, ok);
  EXPECT_FALSE(ok);
  EXPECT_THAT(usb_.calls,
              ElementsAre("write 36", "read 64", "read 200", "write 36", "read 64", "read 200"));
  EXPECT_EQ(countContaining(lines, "retrying"), 1);
  EXPECT_EQ(countContaining(lines, "no data to read in FlushInputPipe"), 2);
  EXPECT_THAT(errorText_, HasSubstr(" SendReceivePacket  second try packet mismatch sent command "
                                    "24 (0x18), received command 26 (0x1a)\n"));
  EXPECT_THAT(errorText_, HasSubstr(" SendReceivePacket  second try recv:  8 bytes"));
}

TEST_F(DeviceDataExchangeTest, FailedWriteIsNotRetried) {
  usb_.failNextWrite(platform::kErrorNoDevice);
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  EXPECT_FALSE(send());
  EXPECT_THAT(usb_.calls, ElementsAre("write 36"));
  EXPECT_EQ(replyLength_, 0u);
  EXPECT_EQ(ErrorText(), " SendReceivePacket error sending data\nError=" +
                             std::to_string(platform::kErrorNoDevice) + " \"" +
                             platform::errorText(platform::kErrorNoDevice) + "\"\n");
}

TEST_F(DeviceDataExchangeTest, FailedReadReportsTheErrorAndWhatWasSent) {
  usb_.queueFailure(platform::kErrorTimeout);
  EXPECT_FALSE(send());
  EXPECT_THAT(usb_.calls, ElementsAre("write 36", "read 64"));
  EXPECT_EQ(ErrorText(), " SendReceivePacket error reading data\nError=" +
                             std::to_string(platform::kErrorTimeout) + " \"" +
                             platform::errorText(platform::kErrorTimeout) +
                             "\"\n SendReceivePacket sent: 36 bytes 38 24 01 01 0b 1e 00 18 00 00 "
                             ".. (28 00's)\n");
}

TEST_F(DeviceDataExchangeTest, ResetPacketReturnsAfterTheWrite) {
  const std::uint8_t reset[] = {packet::kResetMarker};
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  std::uint32_t length = packet::kBufferSize;
  EXPECT_TRUE(device_.SendReceivePacket(reset, 1, reply_.data(), length));
  EXPECT_THAT(usb_.calls, ElementsAre("write 1"));
  EXPECT_EQ(length, 0u);
  EXPECT_EQ(usb_.unreadReplies(), 1u);
}

TEST_F(DeviceDataExchangeTest, VersionQueryTakesAnyReply) {
  const std::uint8_t query[] = {packet::kVersionQuery};
  usb_.queueReply({0x00, 0x00, 0x05, 0x01});
  std::uint32_t length = packet::kBufferSize;
  EXPECT_TRUE(device_.SendReceivePacket(query, 1, reply_.data(), length));
  EXPECT_EQ(length, 4u);
  EXPECT_EQ(reply_[2], 0x05);
  EXPECT_EQ(reply_[3], 0x01);
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(DeviceDataExchangeTest, ReplyCountNeverExceedsTheCallersBuffer) {
  ScriptedUsbPlatform::Read boastful;
  boastful.data = ScriptedUsbPlatform::echoReply(kCommand, 8);
  boastful.claimedCount = 5000;
  usb_.queueRead(boastful);
  bool ok = false;
  sendLogged(kLogAll, ok);  // the dumps must stay inside the reply buffer too
  EXPECT_TRUE(ok);
  EXPECT_EQ(replyLength_, packet::kBufferSize);

  // A buffer too small for the echo: rejected as incomplete, never read past.
  for (int attempt = 0; attempt < 2; ++attempt) {
    usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 64));
    usb_.queueFailure(platform::kErrorTimeout);
  }
  std::vector<std::uint8_t> tiny(4);
  std::uint32_t length = static_cast<std::uint32_t>(tiny.size());
  EXPECT_FALSE(device_.SendReceivePacket(packet_.data(), 36, tiny.data(), length));
  EXPECT_EQ(length, 4u);
}

TEST_F(DeviceDataExchangeTest, EmptyPacketIsRefusedWithoutTouchingThePipes) {
  std::uint32_t length = packet::kBufferSize;
  EXPECT_FALSE(device_.SendReceivePacket(packet_.data(), 0, reply_.data(), length));
  EXPECT_FALSE(device_.SendReceivePacket(nullptr, 36, reply_.data(), length));
  EXPECT_THAT(usb_.calls, IsEmpty());
  EXPECT_NE(ErrorText(), "");
}

TEST_F(DeviceDataExchangeTest, DumpsAtDebugLevel) {
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  send();  // the first call traces at 5; dumps of later calls need 8
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  bool ok = false;
  EXPECT_THAT(sendLogged(kLogTerse, ok), IsEmpty());
  usb_.queueReply(ScriptedUsbPlatform::echoReply(kCommand, 8));
  const auto lines = sendLogged(kLogDebug, ok);
  EXPECT_THAT(lines, ElementsAre("DEBUG      SendReceivePacket Sending command 24 (0x18)",
                                 "DEBUG      SendReceivePacket sending 36 bytes 38 24 01 01 0b 1e "
                                 "00 18 00 00 .. (28 00's)",
                                 "DEBUG      SendReceivePacket calling WinUsb_ReadPipe",
                                 "DEBUG      SendReceivePacket reading  8 bytes 00 00 00 00 00 "
                                 "00 00 18 "));
}

TEST_F(DeviceDataExchangeTest, FlushLogsWhatItDiscards) {
  usb_.queueReply({0xAA, 0xBB, 0xCC});
  usb_.queueFailure(platform::kErrorTimeout);
  usb_.queueFailure(platform::kErrorIo);
  std::string errors;
  const auto lines = test::logLinesAt(kLogInfo, [&] {
    EXPECT_TRUE(device_.FlushInputPipe());
    EXPECT_TRUE(device_.FlushInputPipe());
    EXPECT_EQ(ErrorText(), "") << "a timeout is the expected result";
    EXPECT_TRUE(device_.FlushInputPipe());
    errors = ErrorText();
  });
  EXPECT_THAT(usb_.calls, ElementsAre("read 200", "read 200", "read 200"));
  EXPECT_THAT(lines, Contains("INFO       FlushInputPipe flushed  3 bytes aa bb cc "));
  EXPECT_THAT(lines,
              Contains("INFO       FlushInputPipe no data to read in FlushInputPipe (expected "
                       "result)"));
  EXPECT_THAT(errors, AllOf(HasSubstr(" FlushInputPipe error calling WinUsb_ReadPipe while "
                                      "flushing pipe\n"),
                            HasSubstr("Error=" + std::to_string(platform::kErrorIo))));
}

}  // namespace
}  // namespace qx5
