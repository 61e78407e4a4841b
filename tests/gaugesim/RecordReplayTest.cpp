// A session recorded through the recording platform and replayed by simulated gauges: the
// replies come back in recorded order, a request the recording lacks is logged with its nearest
// and left to the model or, strict, unanswered; a bad recording attaches no gauge.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "SimHarness.h"
#include "qx5_dll/usb/record/RecordingUsbPlatform.h"
#include "qx5_dll/usb/record/TextRecording.h"

namespace qx5::sim::testing {
namespace {

using ::testing::HasSubstr;

constexpr std::uint8_t kSerial = 30, kPressure = 0, kDeviceName = 33;

// Records `requests` on one fresh simulated gauge into `file`; the replies, in order.
std::vector<Bytes> recordSession(const std::string& file, const std::vector<Bytes>& requests,
                                 std::vector<std::string>* reports = nullptr) {
  auto inner = std::make_unique<SimulatedUsbPlatform>(std::make_unique<Environment>(1));
  auto& simulated = *inner;
  const std::string path = enumerate(simulated).at(0);
  usb::RecordingUsbPlatform recorder(
      std::move(inner), std::make_unique<usb::TextRecording>(file, "9.9", [&](const auto& text) {
        if (reports) reports->push_back(text);
      }));
  DeviceHandle device = recorder.openDevice(path);
  InterfaceHandle iface = kInvalidInterfaceHandle;
  EXPECT_TRUE(recorder.initialize(device, iface));
  std::vector<Bytes> replies;
  for (const Bytes& request : requests) {
    std::uint32_t count = 0;
    EXPECT_TRUE(recorder.writePipe(iface, kOutPipe, request.data(),
                                   static_cast<std::uint32_t>(request.size()), count));
    Bytes reply(64);
    EXPECT_TRUE(recorder.readPipe(iface, kInPipe, reply.data(), 64, count));
    replies.push_back(reply);
  }
  return replies;
}

struct Replayed {
  Replayed(const std::string& file, ReplayOptions options = {})
      : platform(Environment::fromValue(file, messages, {}, withLog(std::move(options)))),
        paths(enumerate(platform)) {}
  ReplayOptions withLog(ReplayOptions options) {
    options.log = [this](const std::string& text) { log += text + "\n"; };
    return options;
  }
  std::ostringstream messages;
  std::string log;
  SimulatedUsbPlatform platform;
  std::vector<std::string> paths;
};

TEST(RecordReplay, RecordedRepliesComeBackInOrderAndTheLastRepeats) {
  qx5::test::TempDir dir;
  const std::string file = dir.file("s.rec");
  const auto recorded = recordSession(
      file, {command(kSerial), command(kPressure), command(kPressure), command(kPressure)});
  const std::string text = qx5::test::readFile(file);
  EXPECT_THAT(text, HasSubstr("qx5-recording 1\nlibrary 9.9\ndate "));
  EXPECT_THAT(text, HasSubstr("\ngauge g0 path \\\\?\\usb#vid_04d8&pid_000c#sim0#"));
  EXPECT_THAT(text, HasSubstr("\ngauge g0 serial 10001\n"));
  // The first request after its time, the milliseconds since the recording began: 0 or more,
  // as fast as the machine is.
  const std::size_t first = text.find("\n> g0 ");
  ASSERT_NE(first, std::string::npos) << text;
  const std::size_t afterTime = text.find_first_not_of("0123456789", first + 6);
  ASSERT_TRUE(afterTime != std::string::npos && afterTime > first + 6) << text;
  const std::string packet = " 38 24 01 01 0b 1e 00 1e 00";
  EXPECT_EQ(text.substr(afterTime, packet.size()), packet) << text;

  ShortTimeouts ceiling;
  Replayed replay(file, {true, false, {}});
  ASSERT_EQ(replay.paths.size(), 1u) << replay.messages.str();
  EXPECT_THAT(replay.paths[0], HasSubstr("#sim0#"));  // the recorded path
  OpenGauge gauge(replay.platform, replay.paths[0]);
  EXPECT_EQ(gauge.exchange(command(kSerial)), recorded[0]);
  for (int i : {1, 2, 3, 3}) EXPECT_EQ(gauge.exchange(command(kPressure)), recorded[i]) << i;
  EXPECT_EQ(replay.log, "");
  EXPECT_NE(recorded[1], recorded[2]);  // the noise tells the replies apart
}

TEST(RecordReplay, AnUnrecordedRequestIsLoggedWithItsNearestAndLeftToTheModelUnlessStrict) {
  qx5::test::TempDir dir;
  const std::string file = dir.file("s.rec");
  recordSession(file, {command(kSerial)});
  ShortTimeouts ceiling;
  for (const bool strict : {false, true}) {
    Replayed replay(file, {strict, false, {}});
    OpenGauge gauge(replay.platform, replay.paths.at(0));
    const Bytes reply = gauge.exchange(command(kDeviceName));
    EXPECT_EQ(reply.empty(), strict);
    if (strict) {
      EXPECT_TRUE(replay.platform.isTimeout(replay.platform.lastError()));
    }
    EXPECT_THAT(replay.log, HasSubstr("replay rec0: request 38 24 01 01 0b 1e 00 21 00"));
    EXPECT_THAT(replay.log, HasSubstr(strict ? "no reply (strict)" : "the model answers"));
    EXPECT_THAT(replay.log, HasSubstr("nearest recorded request 38 24 01 01 0b 1e 00 1e 00"));
    EXPECT_THAT(replay.log, HasSubstr("(1 byte differs)"));
  }
}

TEST(RecordReplay, RealtimeKeepsTheRecordedReplyDelay) {
  recording::RecordedGauge recorded{"P", {}, {}, {}, {}};
  recorded.exchanges.push_back({{{1}, 100}, recording::RecordedPacket{{2}, 130}});
  const TimePoint now{};
  for (const bool realtime : {false, true}) {
    Replay replay(recorded, {false, realtime, {}});
    const std::uint8_t request = 1;
    const auto response = replay.answer("g", &request, 1, now);
    ASSERT_TRUE(response && response->replies);
    EXPECT_EQ(response->readyAt - now, std::chrono::milliseconds(realtime ? 30 : 0));
  }
}

TEST(RecordReplay, ABadRecordingAttachesNoGaugeAndAGaugeFileMayNameAGoodOne) {
  GaugeDirectory bench;
  const std::string good = (bench.path() / "good.rec").string();
  recordSession(good, {command(kSerial)});
  const std::string bad = (bench.path() / "bad.rec").string();
  std::ofstream(bad) << "qx5-recording 1\ngauge g0 path P\n> g0 0 38 zz\n";
  {
    Replayed replay(bad);
    EXPECT_TRUE(replay.paths.empty());
    EXPECT_THAT(replay.messages.str(), HasSubstr(bad + ":3: 'zz' is not a byte in hex"));
  }
  bench.write("a", "replay = good.rec\nserial = 5\n");
  bench.write("b", "serial = 6\n");
  bench.write("c", "replay = bad.rec\n");
  std::ostringstream messages;
  SimulatedUsbPlatform platform(bench.environment(messages));
  const auto paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 2u) << messages.str();
  EXPECT_THAT(messages.str(), HasSubstr("c.gauge: not attached"));
  OpenGauge recordedGauge(platform, paths[0]);
  OpenGauge modelledGauge(platform, paths[1]);
  EXPECT_EQ(int32At(recordedGauge.ok(command(kSerial)), 8), 10001);  // as recorded
  EXPECT_EQ(int32At(modelledGauge.ok(command(kSerial)), 8), 6);
  enumerate(platform);  // a refused file is reported once
  EXPECT_EQ(messages.str().find("c.gauge"), messages.str().rfind("c.gauge"));
}

TEST(RecordReplay, AFileThatCannotBeWrittenIsReportedOnceAndChangesNoCall) {
  qx5::test::TempDir dir;
  std::vector<std::string> reports;
  const auto replies = recordSession(dir.file("no/such/folder/s.rec"),
                                     {command(kSerial), command(kPressure)}, &reports);
  EXPECT_EQ(int32At(replies[0], 8), 10001);
  ASSERT_EQ(reports.size(), 1u);
  EXPECT_THAT(reports[0], HasSubstr("no/such/folder/s.rec: cannot be written"));
}

}  // namespace
}  // namespace qx5::sim::testing
