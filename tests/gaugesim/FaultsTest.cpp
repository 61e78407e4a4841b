// Each fault a .gauge file can name, seen through the pipes.
#include "SimHarness.h"

namespace qx5::sim::testing {
namespace {

class FaultyGauge : public ::testing::Test {
 protected:
  OpenGauge& open(const std::string& fault) {
    dir.write("f", "fault = " + fault + "\n");
    platform = std::make_unique<SimulatedUsbPlatform>(dir.environment(messages));
    const auto paths = enumerate(*platform);
    EXPECT_EQ(paths.size(), 1u);
    gauge = std::make_unique<OpenGauge>(*platform, paths.at(0));
    return *gauge;
  }

  ShortTimeouts ceiling;
  GaugeDirectory dir;
  std::ostringstream messages;
  std::unique_ptr<SimulatedUsbPlatform> platform;
  std::unique_ptr<OpenGauge> gauge;
};

TEST_F(FaultyGauge, SilentNeverReplies) {
  OpenGauge& g = open("silent");
  EXPECT_TRUE(g.write(command(30)));
  EXPECT_TRUE(g.read().empty());
  EXPECT_TRUE(platform->isTimeout(platform->lastError()));
}

TEST_F(FaultyGauge, ShortRepliesHaveSevenBytes) {
  EXPECT_EQ(open("short").exchange(command(30)).size(), 7u);
}

TEST_F(FaultyGauge, MismatchEchoesAnotherCommandEveryTime) {
  OpenGauge& g = open("mismatch");
  for (std::uint8_t code : {30, 5, 45}) {
    const Bytes reply = g.exchange(command(code));
    ASSERT_EQ(reply.size(), 64u);
    EXPECT_NE(reply[7], code);
    EXPECT_NE(reply[7], 6);
  }
}

TEST_F(FaultyGauge, MismatchOnceSpoilsOnlyTheFirstReply) {
  OpenGauge& g = open("mismatch-once");
  EXPECT_NE(g.exchange(command(30)).at(7), 30);
  EXPECT_EQ(g.exchange(command(30)).at(7), 30);
  EXPECT_EQ(g.exchange(command(45)).at(7), 45);
}

TEST_F(FaultyGauge, Echo6AnswersWithCommand6) {
  const Bytes reply = open("echo6").exchange(command(30));
  EXPECT_EQ(reply.at(7), 6);
  EXPECT_EQ(int32At(reply, 8), Environment::kFirstSerial) << "the data is still right";
}

TEST_F(FaultyGauge, RefuseWriteAndRefuseEraseAnswerNotDone) {
  OpenGauge& g = open("refuse-write, refuse-erase");
  g.ok(bootRequest(0));
  EXPECT_EQ(g.ok(eraseRequest(0x1E000, 64))[8], 0);
  EXPECT_EQ(g.ok(memoryRequest(73, 0xF00000, {1}, 1))[8], 0);
  EXPECT_EQ(g.ok(readRequest(0xF00000, 1))[8], 17) << "nothing was written";
}

TEST_F(FaultyGauge, ChipsetInBootloaderOnlyLeavesItUnansweredInTheApplication) {
  OpenGauge& g = open("chipset-in-bootloader-only");
  EXPECT_TRUE(g.write(command(77)));
  EXPECT_TRUE(g.read().empty());
  g.ok(bootRequest(0));
  EXPECT_EQ(int32At(g.ok(command(77)), 8), 2);
}

TEST_F(FaultyGauge, UnplugAfterVanishesFromPipesAndEnumeration) {
  OpenGauge& g = open("unplug-after=3");  // enumeration sent nothing yet
  for (int i = 0; i < 3; ++i) EXPECT_EQ(g.exchange(command(30)).size(), 64u);
  EXPECT_FALSE(g.write(command(30)));
  EXPECT_EQ(platform->lastError(), platform::kErrorNoDevice);
  EXPECT_TRUE(g.read().empty());
  EXPECT_EQ(platform->lastError(), platform::kErrorNoDevice);
  EXPECT_TRUE(enumerate(*platform).empty());
}

}  // namespace
}  // namespace qx5::sim::testing
