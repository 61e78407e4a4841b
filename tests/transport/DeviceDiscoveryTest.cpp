#include <gtest/gtest.h>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/transport/mchpusb.h"
#include "support/FakeGaugeBus.h"

namespace qx5 {
namespace {

using test::capturedLog;
using test::FakeGaugeBus;
using test::occurrences;

struct Discovery : ::testing::Test {
  Discovery() {
    auto owned = std::make_unique<FakeGaugeBus>();
    bus = owned.get();
    platform = std::move(owned);
  }
  mchpusb& list() {
    if (!list_) list_ = std::make_unique<mchpusb>(std::move(platform));
    return *list_;
  }
  FakeGaugeBus* bus;
  std::unique_ptr<UsbPlatform> platform;
  std::unique_ptr<mchpusb> list_;
};

TEST_F(Discovery, NoGaugeCountsNothingAndSelectionEnumeratesOnce) {
  const std::string log = capturedLog([&] {
    EXPECT_EQ(list().UpdateDeviceList(), 0u);
    EXPECT_FALSE(list().SetDeviceInstance(0));
  });
  EXPECT_NE(log.find("no devices found"), std::string::npos);
  EXPECT_EQ(bus->enumerations, 2);  // the explicit one, then the selection's own
}

TEST_F(Discovery, OnlyLowerCaseGaugePathsAreOpened) {
  bus->devices = {
      {"usb#vid_046d&pid_c52b#1-1", 1}, {test::gaugePath(7, true), 2}, {test::gaugePath(8), 3}};
  const std::string log = capturedLog([&] { EXPECT_EQ(list().UpdateDeviceList(), 1u); });
  EXPECT_EQ(list().device(0).devicePath, test::gaugePath(8));
  EXPECT_NE(log.find("\"usb#vid_046d&pid_c52b#1-1\" is not a Orvane"), std::string::npos);
  EXPECT_NE(log.find("is not a Orvane"), log.rfind("is not a Orvane"));  // both skipped
}

TEST_F(Discovery, MuteGaugeLeavesItsSlotToTheNext) {
  bus->devices = FakeGaugeBus::gauges(3);
  bus->devices[0].answers = false;
  const std::string log = capturedLog([&] { EXPECT_EQ(list().UpdateDeviceList(), 2u); });
  EXPECT_EQ(list().device(0).devicePath, test::gaugePath(1));
  EXPECT_EQ(list().device(1).devicePath, test::gaugePath(2));
  EXPECT_NE(log.find("CheckGauge did not find a serial number"), std::string::npos);
  EXPECT_NE(log.find("CheckGauge found serial number 1002"), std::string::npos);
}

TEST_F(Discovery, SeventeenthGaugeTakesTheLastSlotWithOneError) {
  bus->devices = FakeGaugeBus::gauges(17);
  EXPECT_EQ(list().UpdateDeviceList(), 16u);
  EXPECT_EQ(occurrences(ErrorText(), "too many devices: max is 16"), 1);
  EXPECT_EQ(list().device(15).devicePath, test::gaugePath(16));
}

TEST_F(Discovery, SixteenGaugesFitWithoutError) {
  bus->devices = FakeGaugeBus::gauges(16);
  bus->devices.push_back({"usb#vid_1d6b&pid_0002#1", 0});  // a hub after them costs no slot
  EXPECT_EQ(list().UpdateDeviceList(), 16u);
  EXPECT_EQ(ErrorText().find("too many devices"), std::string::npos);
  EXPECT_EQ(list().device(15).devicePath, test::gaugePath(15));
}

TEST_F(Discovery, HighSpeedGaugeIsAcceptedWithItsLine) {
  bus->devices = FakeGaugeBus::gauges(1);
  bus->devices[0].speed = UsbSpeed::High;
  const std::string log = capturedLog([&] { EXPECT_EQ(list().UpdateDeviceList(), 1u); });
  EXPECT_NE(log.find("The device speed is HighSpeed (3), was expecting USB Full speed"),
            std::string::npos);
}

TEST_F(Discovery, OpeningFindsBothPipesAndSetsTheirTimeout) {
  bus->devices = FakeGaugeBus::gauges(1);
  const std::string log = capturedLog([&] { list().UpdateDeviceList(); });
  EXPECT_EQ(list().device(0).pipeInId, FakeGaugeBus::kIn);
  EXPECT_EQ(list().device(0).pipeOutId, FakeGaugeBus::kOut);
  using Timeout = std::pair<std::uint8_t, std::uint32_t>;
  EXPECT_EQ(bus->timeouts,
            (std::vector<Timeout>{{FakeGaugeBus::kIn, 2000}, {FakeGaugeBus::kOut, 2000}}));
  EXPECT_NE(log.find("configured input pipe policy: RESET_PIPE_ON_RESUME, AUTO_FLUSH, "
                     "AUTO_CLEAR_STALL, PIPE_TRANSFER_TIMEOUT=2000 ms"),
            std::string::npos);
}

TEST_F(Discovery, ReenumerationClosesEverySlotFirst) {
  bus->devices = FakeGaugeBus::gauges(3);
  list().UpdateDeviceList();
  EXPECT_EQ(bus->openHandles, 3);
  bus->devices.resize(1);
  EXPECT_EQ(list().UpdateDeviceList(), 1u);
  EXPECT_EQ(bus->openHandles, 1);
  list().DeleteDeviceDataList();
  EXPECT_EQ(bus->openHandles, 0);
}

TEST_F(Discovery, SelectionKeepsTheCurrentGaugeOnABadIndex) {
  bus->devices = FakeGaugeBus::gauges(2);
  ASSERT_TRUE(list().SetDeviceInstance(1));
  EXPECT_FALSE(list().SetDeviceInstance(2));
  EXPECT_FALSE(list().SetDeviceInstance(255));
  EXPECT_EQ(list().currentIndex(), 1u);
  EXPECT_EQ(&list().currentDevice(), &list().device(1));
}

TEST_F(Discovery, SerialNumberChangeIsReportedOnceAndRecorded) {
  bus->devices = FakeGaugeBus::gauges(1);
  list().UpdateDeviceList();
  DEVICE_DATA& slot = list().device(0);
  slot.FoundNewSerialNumber(1001);
  EXPECT_EQ(ErrorText(), "");
  slot.FoundNewSerialNumber(2002);
  EXPECT_NE(ErrorText().find("serial number change,... was 1001, is now 2002"), std::string::npos);
  slot.FoundNewSerialNumber(2002);
  EXPECT_EQ(ErrorText(), "");
  EXPECT_EQ(slot.serialNumber, 2002);
}

TEST_F(Discovery, IncompleteBindingFindsNothingAndExchangesNothing) {
  bus->complete = false;
  bus->devices = FakeGaugeBus::gauges(2);
  const std::string log = capturedLog([&] { EXPECT_EQ(list().UpdateDeviceList(), 0u); });
  EXPECT_NE(log.find("Invalid WinUSB wrapper"), std::string::npos);
  EXPECT_EQ(bus->enumerations, 0);
  std::uint8_t packet[8] = {0x38, 8}, reply[64];
  std::uint32_t count = sizeof reply;
  EXPECT_FALSE(list().SendReceivePacket(packet, 8, reply, count));
  EXPECT_FALSE(list().FlushInputPipe());
}

TEST_F(Discovery, EnumerationThatNeverEndsIsBounded) {
  bus->failEveryMember = true;
  std::string errors;
  const std::string log = capturedLog([&] {
    EXPECT_EQ(list().UpdateDeviceList(), 0u);
    errors = ErrorText();
  });
  EXPECT_NE(errors.find("error calling SetupDiEnumDeviceInterfaces 0"), std::string::npos);
  EXPECT_NE(log.find("enumeration stopped after 1024 members"), std::string::npos);
}

}  // namespace
}  // namespace qx5
