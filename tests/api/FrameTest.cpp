#include <gtest/gtest.h>

#include <string>

#include "qx5_dll/api/ExportFrame.h"
#include "qx5_dll/api/LibraryStartup.h"
#include "qx5_dll/api/LibraryState.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/transport/mchpusb.h"
#if !defined(_WIN32)
#include "qx5_dll/usb/libusb/LibusbPlatform.h"
#endif
#include "support/FakeGaugeBus.h"
#include "support/ForwardingUsbPlatform.h"
#include "support/ShownResult.h"

namespace qx5 {
namespace {

using api::library;
using test::FakeGaugeBus;

std::string takeText(BSTR text) {
  std::string result = text ? test::bstrBytes(text) : "<null>";
  SysFreeString(text);
  return result;
}

// Each test gets a library as at load, whose device lists reach `bus`.
struct Frame : ::testing::Test {
  Frame() {
    setGuardSeesThisProcessOnly(true);
    api::ResetLibraryState();
    setUsbPlatformFactory([this] {
      ++platformsMade;
      auto fake = std::make_unique<FakeGaugeBus>();
      fake->devices = devices;
      bus = fake.get();
      return fake;
    });
  }
  ~Frame() override {
    api::ResetLibraryState();
    setUsbPlatformFactory(nullptr);
    setGuardSeesThisProcessOnly(false);
  }
  std::vector<test::FakeDevice> devices;
  FakeGaugeBus* bus = nullptr;
  int platformsMade = 0;
};

TEST_F(Frame, PacketBuffersAndDefaultHeader) {
  qx5::api::call().commandBuffer[40] = 0x55;
  qx5::api::call().replyBuffer[3] = 0x66;
  api::ResetPacketBuffers();
  api::PrepareCommandPacket(24);
  const std::uint8_t header[8] = {0x38, 0x24, 0x01, 0x01, 0x0B, 0x1E, 0x00, 24};
  EXPECT_EQ(0, std::memcmp(qx5::api::call().commandBuffer, header, 8));
  EXPECT_EQ(qx5::api::call().commandBuffer[40], 0);
  EXPECT_EQ(qx5::api::call().replyBuffer[3], 0);
  EXPECT_EQ(qx5::api::call().replyCount, 64u);
  EXPECT_EQ(qx5::api::call().commandBufferSize, 64);
}

TEST_F(Frame, InitialisingTwiceMakesOneDeviceList) {
  ASSERT_TRUE(QX5Init());
  mchpusb* first = library().deviceList;
  EXPECT_TRUE(QX5Init());
  EXPECT_EQ(library().deviceList, first);
  EXPECT_EQ(platformsMade, 1);
  EXPECT_EQ(bus->enumerations, 0);  // initialisation does not enumerate
}

TEST_F(Frame, NoGaugeCountsZeroAndSelectionFails) {
  std::string errors;
  const std::string log = test::capturedLog([&] {
    EXPECT_EQ(GetDeviceCount(), 0);
    EXPECT_FALSE(UsbPort(0));
  });
  EXPECT_NE(log.find("no devices found"), std::string::npos);
  EXPECT_NE(log.find("Failed to select UsbPort 0"), std::string::npos);
  EXPECT_EQ(bus->enumerations, 2);  // the count's, then the empty list's own for UsbPort
}

TEST_F(Frame, SelectionByIndex) {
  devices = FakeGaugeBus::gauges(3);
  EXPECT_EQ(GetDeviceCount(), 3);
  EXPECT_TRUE(UsbPort(2));
  EXPECT_EQ(library().currentPort, 2);
  EXPECT_FALSE(UsbPort(3));  // fails, current port back to 0, gauge 2 still selected
  EXPECT_EQ(library().currentPort, 0);
  EXPECT_EQ(library().deviceList->currentIndex(), 2u);
  EXPECT_TRUE(UsbPortOpen());  // selects port 0 again
  EXPECT_EQ(library().deviceList->currentIndex(), 0u);
  ASSERT_TRUE(UsbPort(1));
  UsbPortClose();
  EXPECT_EQ(library().deviceList->currentIndex(), 0u);
}

TEST_F(Frame, ErrorMessageHoldsTheLastExportsErrorsOnce) {
  ASSERT_TRUE(QX5Init());
  EXPECT_EQ(GetSerialNumber(), -1);  // no gauge opened: the write fails
  const std::string errors = takeText(GetErrorMessage());
  EXPECT_NE(errors.find("GetSerialNumber error sending data"), std::string::npos) << errors;
  EXPECT_EQ(takeText(GetErrorMessage()), "");
}

TEST_F(Frame, EarlyExportBeforeInitialisationFailsWithoutExchange) {
  EXPECT_EQ(GetSerialNumber(), -1);
  EXPECT_EQ(library().deviceList, nullptr);
  EXPECT_EQ(platformsMade, 0);
}

TEST_F(Frame, CommandAfterCountReachesGaugeZero) {
  devices = FakeGaugeBus::gauges(2);
  ASSERT_TRUE(QX5Init());
  EXPECT_EQ(GetSerialNumber(), -1);
  EXPECT_EQ(GetDeviceCount(), 2);
  EXPECT_EQ(GetSerialNumber(), 1001);
  ASSERT_TRUE(UsbPort(1));
  EXPECT_EQ(GetSerialNumber(), 1002);
}

TEST_F(Frame, ReorderedGaugesReportTheSerialChangeOnce) {
  devices = FakeGaugeBus::gauges(2);
  ASSERT_EQ(GetDeviceCount(), 2);
  ASSERT_EQ(GetSerialNumber(), 1001);
  std::swap(bus->devices[0], bus->devices[1]);
  ASSERT_EQ(GetDeviceCount(), 2);
  EXPECT_EQ(GetSerialNumber(), 1002);
  const std::string errors = takeText(GetErrorMessage());
  EXPECT_EQ(test::occurrences(errors, "serial number change,... was 1001, is now 1002"), 1)
      << errors;
  EXPECT_EQ(GetSerialNumber(), 1002);
  EXPECT_EQ(takeText(GetErrorMessage()), "");
}

TEST_F(Frame, InformationWithoutAGauge) {
  EXPECT_EQ(takeText(GetDLLVersion()), "2.2.0.18");
  EXPECT_FALSE(library().initialised);
  EXPECT_EQ(GetMaxDevice(), 0);
  EXPECT_EQ(GetMaxRange(), 0);
  EXPECT_TRUE(AllVidPidSame());
}

TEST_F(Frame, CommandThatWritesOutsideThePacketFailsCleanly) {
  devices = FakeGaugeBus::gauges(1);
  ASSERT_EQ(GetDeviceCount(), 1);
  QX5_LOG_SCOPE(scope, "Probe", "Probe");
  const bool result = api::runCommand(
      scope, {.code = 1}, false, [](api::CommandPacket& p) { p.u32le(62, 7); },
      [](const api::ReplyPacket&) { return true; });
  EXPECT_FALSE(result);
  EXPECT_NE(ErrorText().find("beyond the 64-byte packet"), std::string::npos);
  // A reply field read past the buffer fails the same way, after a good exchange.
  EXPECT_FALSE(api::runCommand(scope, {.code = 30}, false, api::kNoParameters,
                               [](const api::ReplyPacket& r) { return r.u8(64) == 0; }));
}

TEST_F(Frame, CommandFieldsReachTheWire) {
  devices = FakeGaugeBus::gauges(1);
  ASSERT_EQ(GetDeviceCount(), 1);
  QX5_LOG_SCOPE(scope, "Probe", "Probe");
  EXPECT_EQ(api::exchangeCommand(scope, {.code = 75, .group = api::Group::Early, .length = 9},
                                 [](api::CommandPacket& p) { p.u32be(8, 0x01020304); }),
            api::Outcome::Done);
  const std::uint8_t* b = qx5::api::call().commandBuffer;
  EXPECT_EQ(b[1], 9);
  EXPECT_EQ(b[5], 1);
  EXPECT_EQ(b[7], 75);
  EXPECT_EQ(b[8], 1);
  EXPECT_EQ(b[11], 4);
}

#if !defined(_WIN32)  // libusb is the Linux binding
TEST_F(Frame, MissingLibusbStillInitialisesAndSaysWhy) {
  setUsbPlatformFactory([] { return usb::createLibusbPlatform("libusb-absent.so.0"); });
  const std::string log = test::capturedLog([&] {
    EXPECT_TRUE(QX5Init());
    EXPECT_EQ(GetDeviceCount(), 0);
  });
  EXPECT_NE(log.find("Invalid WinUSB wrapper"), std::string::npos);
  EXPECT_NE(log.find("cannot load libusb-absent.so.0"), std::string::npos);
}
#endif

// A platform that throws where a binding runs out of memory: the exports stay the C boundary.
struct ThrowingPlatform : test::ForwardingUsbPlatform {
  bool beginEnumeration() override { throw std::bad_alloc(); }
};

TEST_F(Frame, NothingThrownDuringSelectionEscapesTheExports) {
  setUsbPlatformFactory([] { return std::make_unique<ThrowingPlatform>(); });
  EXPECT_NO_THROW(EXPECT_EQ(GetDeviceCount(), -1));
  EXPECT_NE(ErrorText().find("GetDeviceCount exception"), std::string::npos) << ErrorText();
  EXPECT_NO_THROW(EXPECT_FALSE(UsbPort(0)));
  EXPECT_EQ(library().currentPort, 0);
  EXPECT_NO_THROW(EXPECT_FALSE(UsbPortOpen()));
  EXPECT_NO_THROW(UsbPortClose());
}

}  // namespace
}  // namespace qx5
