// Enumeration, handles, pipes and timeouts of the simulated USB platform.
#include <chrono>
#include <fstream>

#include "SimHarness.h"
#include "support/ManualClock.h"

namespace qx5::sim::testing {
namespace {

TEST(SimulatedPlatform, CountModeEnumeratesNamedGaugesWithSerialsInOrder) {
  CountedGauges gauges(3);
  ASSERT_EQ(gauges.paths.size(), 3u);
  const std::uint8_t identify[] = {0x38, 0x08, 0x01, 0x01, 0x0B, 0x1E, 0x00, 0x1E};
  for (std::size_t i = 0; i < 3; ++i) {
    const std::string& path = gauges.paths[i];
    EXPECT_NE(path.find("vid_04d8&pid_000c"), std::string::npos) << path;
    EXPECT_NE(path.find("#sim" + std::to_string(i) + "#"), std::string::npos) << path;
    EXPECT_NE(path.find("{5354fa28-6d14-4e35-a1f5-75bb54e6030f}"), std::string::npos) << path;
    OpenGauge gauge = gauges.open(i);
    const Bytes reply = gauge.exchange(Bytes(std::begin(identify), std::end(identify)));
    ASSERT_GE(reply.size(), 12u);
    EXPECT_EQ(reply[7], 0x1E);
    EXPECT_EQ(int32At(reply, 8), 10001 + static_cast<int>(i));
  }
}

TEST(SimulatedPlatform, InterfaceHasInterruptInAndOutPipesAtFullSpeed) {
  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
  EXPECT_EQ(gauge.inPipe(), kInPipe);
  EXPECT_EQ(gauge.outPipe(), kOutPipe);
  UsbPipeInformation pipe;
  ASSERT_TRUE(gauges.platform.queryPipe(gauge.iface(), 0, 0, pipe));
  EXPECT_EQ(pipe.pipeType, UsbPipeType::Interrupt);
  EXPECT_EQ(pipe.maximumPacketSize, 64);
  EXPECT_FALSE(gauges.platform.queryPipe(gauge.iface(), 0, 2, pipe));
  UsbSpeed speed{};
  ASSERT_TRUE(gauges.platform.queryDeviceSpeed(gauge.iface(), speed));
  EXPECT_EQ(speed, UsbSpeed::Full);
}

TEST(SimulatedPlatform, SilentReadTimesOutAfterThePipeTimeout) {
  qx5::test::ManualClock clock;
  CountedGauges gauges(1, &clock);
  OpenGauge gauge = gauges.open();
  ASSERT_TRUE(gauges.platform.setPipeTimeout(gauge.iface(), kInPipe, 40));
  const auto start = clock.now();
  EXPECT_TRUE(gauge.read().empty());
  EXPECT_TRUE(gauges.platform.isTimeout(gauges.platform.lastError()));
  EXPECT_EQ(clock.now() - start, std::chrono::milliseconds(40));
}

TEST(SimulatedPlatform, TimeoutCeilingShortensLongPipeTimeouts) {
  ShortTimeouts ceiling(20);
  qx5::test::ManualClock clock;
  CountedGauges gauges(1, &clock);
  OpenGauge gauge = gauges.open();  // pipe timeout 2000 ms
  const auto start = clock.now();
  EXPECT_TRUE(gauge.read().empty());
  EXPECT_EQ(clock.now() - start, std::chrono::milliseconds(20));
}

TEST(SimulatedPlatform, ClosedHandlesFailWithInvalidHandle) {
  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
  ASSERT_TRUE(gauges.platform.freeInterface(gauge.iface()));
  EXPECT_FALSE(gauge.write(command(30)));
  EXPECT_EQ(gauges.platform.lastError(), platform::kErrorInvalidHandle);
  EXPECT_TRUE(gauges.platform.closeDevice(gauge.device()));
  EXPECT_FALSE(gauges.platform.closeDevice(gauge.device()));
  EXPECT_EQ(gauges.platform.lastError(), platform::kErrorInvalidHandle);
  InterfaceHandle iface;
  EXPECT_FALSE(gauges.platform.initialize(gauge.device(), iface));
}

TEST(SimulatedPlatform, UnknownPathDoesNotOpen) {
  CountedGauges gauges;
  EXPECT_EQ(gauges.platform.openDevice("\\\\?\\usb#vid_04d8&pid_000c#nothing#"),
            kInvalidDeviceHandle);
}

TEST(SimulatedPlatform, FactoryAcceptsCountsAndRefusesOtherValues) {
  for (const auto& [value, expected] : std::vector<std::pair<std::string, std::size_t>>{
           {"1", 1}, {"64", 64}, {"0", 0}, {"65", 0}, {"/no/such/dir", 0}}) {
    auto platform = createSimulatedPlatform(value);
    auto& simulated = dynamic_cast<SimulatedUsbPlatform&>(*platform);
    EXPECT_EQ(enumerate(simulated).size(), expected) << value;
  }
}

TEST(SimulatedPlatform, UsbProcessorAnswersVersionQueryAndResetHasNoReply) {
  ShortTimeouts ceiling;
  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
  const Bytes version = gauge.exchange({0x00});
  ASSERT_GE(version.size(), 4u);
  EXPECT_EQ(version[2], 5);  // minor
  EXPECT_EQ(version[3], 1);  // major
  ASSERT_TRUE(gauge.write({0xFF}));
  EXPECT_TRUE(gauge.read().empty());
  EXPECT_TRUE(gauges.platform.isTimeout(gauges.platform.lastError()));
}

TEST(SimulatedPlatform, MalformedPacketsGetErrorRepliesAndOversizedWritesFail) {
  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
  const Bytes truncated = gauge.exchange({0x38, 0x24, 0x01, 0x01, 0x0B});
  ASSERT_EQ(truncated.size(), 64u);
  EXPECT_EQ(truncated[6], 0xFF);
  Bytes lying = command(30);
  lying[1] = 60;  // claims more bytes than were sent
  EXPECT_EQ(gauge.exchange(lying).at(6), 0xFF);
  EXPECT_EQ(gauge.exchange(command(200)).at(6), 0xFF);  // no such command
  EXPECT_FALSE(gauge.write(Bytes(65, 0x38)));
  EXPECT_EQ(gauges.platform.lastError(), platform::kErrorIo);
}

TEST(SimulatedPlatform, FlushDiscardsQueuedReplies) {
  ShortTimeouts ceiling;
  CountedGauges gauges;
  OpenGauge gauge = gauges.open();
  ASSERT_TRUE(gauge.write(command(30)));
  ASSERT_TRUE(gauges.platform.flushPipe(gauge.iface(), kInPipe));
  EXPECT_TRUE(gauge.read().empty());
}

TEST(SimulatedPlatform, TraceRecordsEveryPacketExactly) {
  GaugeDirectory scratch;
  const auto tracePath = scratch.path() / "trace.txt";
  SimulatedUsbPlatform platform(std::make_unique<Environment>(1), {tracePath.string(), 0});
  OpenGauge gauge(platform, enumerate(platform).at(0));
  ASSERT_EQ(gauge.exchange({0x38, 0x08, 0x01, 0x01, 0x0B, 0x1E, 0x00, 0x1E}).size(), 64u);
  std::ifstream in(tracePath);
  std::string sent, received;
  std::getline(in, sent);
  std::getline(in, received);
  EXPECT_EQ(sent, "> sim0 38 08 01 01 0b 1e 00 1e");
  EXPECT_EQ(received.substr(0, 42), "< sim0 38 40 01 01 0b 00 00 1e 11 27 00 00");
  EXPECT_EQ(received.size(), 6 + 64 * 3u);
}

TEST(SimulatedPlatform, LatencyDelaysEveryTransfer) {
  qx5::test::ManualClock clock;
  SimulatedUsbPlatform platform(countedEnvironment(1, &clock), {"", 15, &clock});
  OpenGauge gauge(platform, enumerate(platform).at(0));
  const auto start = clock.now();
  ASSERT_FALSE(gauge.exchange(command(30)).empty());
  EXPECT_GE(clock.now() - start, std::chrono::milliseconds(30));
}

}  // namespace
}  // namespace qx5::sim::testing
