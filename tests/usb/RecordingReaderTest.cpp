// The recording reader: what it takes from a file of several sessions, and a clear refusal,
// naming file and line, of a file it cannot take whole.
#include <gtest/gtest.h>

#include <sstream>

#include "qx5_dll/usb/RecordingReader.h"

namespace qx5::recording {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::optional<Recording> read(const std::string& text, std::string& error) {
  std::istringstream in(text);
  return readRecording(in, "s.rec", error);
}

TEST(RecordingReader, SessionsShareAGaugeByPathAndPairEachRequestWithItsFirstReply) {
  const std::string text =
      "qx5-recording 1\nlibrary 2.2.0.18\ndate 2026-12-08T02:30:00Z\n"
      "gauge g0 path P1\n"
      "> g0 0 01 02\n< g0 3 0a\n< g0 4 0b\n"  // a second reply answers nothing
      "gauge g0 serial 10001\ngauge g0 firmware BOOT 1.02\n"
      "> g0 5 ff\n"  // no reply
      "qx5-recording 1\r\n"
      "gauge g0 path P2\ngauge g1 path P1\ngauge g1 serial 99\ngauge g1 chipset 7\n"
      "> g1 1 01 02\n< g1 9 0c\n> g0 2 03\n";
  std::string error;
  const auto recording = read(text, error);
  ASSERT_TRUE(recording) << error;
  ASSERT_EQ(recording->gauges.size(), 2u);
  const RecordedGauge& first = recording->gauges[0];
  EXPECT_EQ(first.path, "P1");
  EXPECT_EQ(first.serial, 10001);  // as first seen
  EXPECT_EQ(first.firmware, "BOOT 1.02");
  EXPECT_EQ(first.chipset, 7u);
  ASSERT_EQ(first.exchanges.size(), 3u);
  EXPECT_EQ(first.exchanges[0].request.bytes, (Bytes{1, 2}));
  EXPECT_EQ(first.exchanges[0].reply->bytes, Bytes{0x0a});
  EXPECT_EQ(first.exchanges[0].reply->ms, 3u);
  EXPECT_FALSE(first.exchanges[1].reply);
  EXPECT_EQ(first.exchanges[2].reply->bytes, Bytes{0x0c});
  EXPECT_EQ(recording->gauges[1].exchanges.at(0).request.bytes, Bytes{3});
}

TEST(RecordingReader, RefusesABadFileNamingItsLine) {
  const std::string header = "qx5-recording 1\ngauge g0 path P\n";
  const std::string longReply = "< g0 0" + [] {
    std::string bytes;
    for (int i = 0; i < 65; ++i) bytes += " 00";
    return bytes;
  }() + "\n";
  const struct {
    std::string text;
    const char* error;
  } cases[] = {
      {"", "s.rec:1: empty, not a recording"},
      {"qx5-recording 2\n", "s.rec:1: recording format 2, this library reads format 1"},
      {"library 1\n", "s.rec:1: not a recording"},
      {header + "> g0 0 38 24", "s.rec:3: truncated"},
      {header + "what is this\n", "s.rec:3: cannot read this line"},
      {header + "> g1 0 38\n", "s.rec:3: gauge g1 has no path line"},
      {header + "> g0 0 3g\n", "s.rec:3: '3g' is not a byte in hex"},
      {header + "> g0 soon 38\n", "s.rec:3: 'soon' is not milliseconds"},
      {header + "> g0 0\n", "s.rec:3: packet without bytes"},
      {header + longReply, "s.rec:3: packet longer than 64 bytes"},
      {header + "gauge g0 serial ten\n", "s.rec:3: serial 'ten' is not a number"},
      {header + "gauge g0 colour red\n", "s.rec:3: unknown gauge key 'colour'"},
      {header + "gauge x0 path P\n", "s.rec:3: 'x0' is not a gauge label"},
  };
  for (const auto& c : cases) {
    std::string error;
    EXPECT_FALSE(read(c.text, error)) << c.text;
    EXPECT_EQ(error.rfind(c.error, 0), 0u) << error;
  }
}

}  // namespace
}  // namespace qx5::recording
