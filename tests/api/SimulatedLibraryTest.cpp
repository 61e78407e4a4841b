#include "support/SimulatedLibrary.h"

#include <gtest/gtest.h>

namespace qx5::test {
namespace {

TEST(SimulatedLibrary, TracesTheExactPacketsOfAnExport) {
  SimulatedLibrary sim(2);
  ASSERT_TRUE(sim.attach(1));
  EXPECT_EQ(GetSerialNumber(), 10002);
  const auto trace = sim.takeTrace();
  ASSERT_EQ(trace.size(), 2u);
  EXPECT_EQ(trace[0].direction, '>');
  EXPECT_EQ(trace[0].gauge, "sim1");
  EXPECT_EQ(trace[0].bytes, command(30));
  EXPECT_EQ(trace[1].direction, '<');
  EXPECT_EQ(trace[1].bytes.at(7), 30);
  EXPECT_TRUE(sim.takeTrace().empty());
}

TEST(SimulatedLibrary, SilencedGaugeTimesOutQuickly) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.silence();
  EXPECT_EQ(GetSerialNumber(), -1);
  EXPECT_TRUE(sim.received().empty());
}

TEST(SimulatedLibrary, RepliesCanBeRewritten) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.editReply = [](Bytes& reply) { reply.at(8) = 0x2A; };
  EXPECT_EQ(GetSerialNumber() & 0xFF, 0x2A);
}

TEST(SimulatedLibrary, GaugesFromFilesInNameOrder) {
  SimulatedLibrary sim;
  sim.plugIn("right");
  sim.plugIn("left", "serial = 4711\nmkii = yes");
  ASSERT_TRUE(sim.attach());
  EXPECT_EQ(GetSerialNumber(), 4711);
  EXPECT_TRUE(IsQX5MKII());
  EXPECT_EQ(sim.takeTrace().at(0).gauge, "left");
  ASSERT_TRUE(UsbPort(1));
  EXPECT_EQ(GetSerialNumber(), 10002);
}

TEST(SimulatedLibrary, SilentAfterChosenPacketsOnly) {
  SimulatedLibrary sim;
  ASSERT_TRUE(sim.attach());
  sim.silentAfter = [](const Bytes& written) { return written.size() > 7 && written[7] == 30; };
  EXPECT_EQ(GetSerialNumber(), -1);
  EXPECT_FALSE(sim.sent().empty());
  EXPECT_TRUE(sim.lastReply().empty());
  sim.silentAfter = nullptr;
  EXPECT_EQ(GetSerialNumber(), 10001);
}

}  // namespace
}  // namespace qx5::test
