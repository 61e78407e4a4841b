// A handle per gauge: what the twins reach, what they refuse, and how a handle follows its gauge
// while the bus changes around it. The concurrency of handles is ThreadSafetyTest's.
#include <gtest/gtest.h>

#include <string>

#include "support/ShownResult.h"
#include "support/SimulatedLibrary.h"

namespace qx5::test {
namespace {

std::string handleText(BSTR text) {
  std::string value = text ? bstrBytes(text) : "(null)";
  SysFreeString(text);
  return value;
}

TEST(GaugeHandles, TwinsReachTheirGaugeWhateverIsSelected) {
  SimulatedLibrary sim(3);
  ASSERT_TRUE(sim.attach(0));
  const std::int32_t third = QX5GaugeOpen(2), second = QX5GaugeOpen(1);
  ASSERT_GT(third, 0);
  ASSERT_GT(second, 0);
  EXPECT_NE(third, second);
  EXPECT_EQ(QX5GaugeGetSerialNumber(third), 10003);
  EXPECT_EQ(GetSerialNumber(), 10001);  // the selection stays the legacy exports' own
  EXPECT_EQ(QX5GaugeGetSerialNumber(second), 10002);
  ASSERT_TRUE(UsbPort(1));
  EXPECT_EQ(QX5GaugeGetSerialNumber(third), 10003);
  EXPECT_EQ(GetSerialNumber(), 10002);
  EXPECT_EQ(handleText(GetErrorMessage()), "");
}

TEST(GaugeHandles, EachHandleRemembersItsOwnAnswers) {
  SimulatedLibrary sim(2);
  ASSERT_TRUE(sim.attach(0));
  const std::int32_t gauge = QX5GaugeOpen(1);
  ASSERT_TRUE(QX5GaugeSetDevice(gauge, 0));
  EXPECT_GT(QX5GaugeGetNumberOfDevices(gauge), 0);
  EXPECT_EQ(QX5GaugeGetNumberOfDevices(gauge), QX5GaugeGetNumberOfDevices(gauge));
  EXPECT_EQ(GetNumberOfDevices(), 0);  // the legacy exports saw no SetDevice
  EXPECT_EQ(GetMaxRange(), 0);
  ASSERT_TRUE(QX5GaugeSetAutoZeroOn(gauge, 1));
  EXPECT_TRUE(QX5GaugeGetAutoZero(gauge));
  EXPECT_FALSE(GetAutoZero());
  // A second handle on the same gauge starts with nothing remembered.
  EXPECT_EQ(QX5GaugeGetNumberOfDevices(QX5GaugeOpen(1)), 0);
}

// Refused with the export's own failure value and a reason; never a crash, never another gauge.
TEST(GaugeHandles, StaleAndMadeUpHandlesAreRefused) {
  SimulatedLibrary sim(2);
  ASSERT_TRUE(sim.attach(0));
  const std::int32_t gauge = QX5GaugeOpen(0);
  ASSERT_TRUE(QX5GaugeClose(gauge));
  EXPECT_FALSE(QX5GaugeClose(gauge));
  EXPECT_NE(
      handleText(GetErrorMessage()).find("gauge handle " + std::to_string(gauge) + " is not open"),
      std::string::npos);
  sim.mark();
  for (const std::int32_t handle : {gauge, 0, -1, 12345}) {
    SCOPED_TRACE(handle);
    EXPECT_EQ(QX5GaugeGetSerialNumber(handle), -1);
    EXPECT_NE(handleText(GetErrorMessage()).find("is not open"), std::string::npos);
    EXPECT_EQ(handleText(QX5GaugeGetQX5FirmwareVersion(handle)), "---");
    float a = -9, b = -9;
    EXPECT_FALSE(QX5GaugeGetPressure(handle, &a, &b));
    EXPECT_EQ(QX5GaugeGetChipset(handle), 0xFFFFFFFFu);
    EXPECT_EQ(QX5GaugeGetMaxRange(handle), 0);
  }
  EXPECT_TRUE(sim.sent().empty());
  // Numbers are never handed out twice: a stale handle can never reach a newer gauge.
  EXPECT_GT(QX5GaugeOpen(0), gauge);
}

TEST(GaugeHandles, OpeningNeedsAGaugeAtThatPosition) {
  SimulatedLibrary sim(2);
  EXPECT_GT(QX5GaugeOpen(1), 0);  // enumerates first, as UsbPort does
  EXPECT_EQ(QX5GaugeOpen(2), 0);
  EXPECT_NE(handleText(GetErrorMessage()).find("no gauge 2: 2 attached"), std::string::npos);
  EXPECT_EQ(QX5GaugeOpen(-1), 0);
}

// The handle names the gauge, not its position: others leaving moves it in the list, and its
// own absence only fails the calls made while it is away.
TEST(GaugeHandles, AHandleFollowsItsGaugeAcrossTheBusChanging) {
  SimulatedLibrary sim;
  sim.plugIn("a", "serial = 501");
  sim.plugIn("b", "serial = 502");
  sim.plugIn("c", "serial = 503");
  ASSERT_TRUE(sim.attach(0));
  const std::int32_t c = QX5GaugeOpen(2);
  ASSERT_EQ(QX5GaugeGetSerialNumber(c), 503);

  sim.unplug("a");
  ASSERT_EQ(GetDeviceCount(), 2);
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), 503);  // now at position 1

  sim.unplug("c");
  ASSERT_EQ(GetDeviceCount(), 1);
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), -1);
  EXPECT_NE(handleText(GetErrorMessage()).find("is not attached"), std::string::npos);
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), -1);

  sim.plugIn("c", "serial = 503");  // back at its port, as after a restart
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), 503);
  EXPECT_EQ(handleText(GetErrorMessage()), "");
  EXPECT_EQ(GetDeviceCount(), 2);
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), 503);

  // Gone and back between two calls: the first call after its return finds it.
  sim.unplug("c");
  ASSERT_EQ(GetDeviceCount(), 1);
  sim.plugIn("c", "serial = 503");
  EXPECT_EQ(QX5GaugeGetSerialNumber(c), 503);
}

// The legacy exports keep telling a caller that the gauge at a position changed.
TEST(GaugeHandles, LegacySelectionStillReportsAnotherGaugeAtItsPosition) {
  SimulatedLibrary sim;
  sim.plugIn("a", "serial = 501");
  sim.plugIn("b", "serial = 502");
  ASSERT_TRUE(sim.attach(0));
  const std::int32_t b = QX5GaugeOpen(1);
  ASSERT_EQ(GetSerialNumber(), 501);
  ASSERT_EQ(QX5GaugeGetSerialNumber(b), 502);
  sim.unplug("a");
  ASSERT_EQ(GetDeviceCount(), 1);
  EXPECT_EQ(GetSerialNumber(), 502);
  EXPECT_NE(handleText(GetErrorMessage()).find("serial number change,... was 501, is now 502"),
            std::string::npos);
  EXPECT_EQ(QX5GaugeGetSerialNumber(b), 502);
  EXPECT_EQ(handleText(GetErrorMessage()), "");  // the handle's gauge never changed
}

}  // namespace
}  // namespace qx5::test
