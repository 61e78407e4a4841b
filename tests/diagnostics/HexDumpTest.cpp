#include <gtest/gtest.h>

#include <array>
#include <cstring>
#include <string>
#include <vector>

#include "qx5_dll/diagnostics/HexDump.h"

namespace qx5 {
namespace {

std::string dump(const std::vector<std::uint8_t>& bytes, std::size_t textSize = kHexDumpSize) {
  std::vector<char> text(textSize + 1, 'Z');
  FormatHexBytes(text.data(), textSize, bytes.data(), bytes.size());
  EXPECT_EQ(text[textSize], 'Z') << "wrote past the text buffer";
  return std::string(text.data());
}

TEST(HexDumpTest, TrailingRunsLongerThanSevenAreCompressed) {
  EXPECT_EQ(dump(std::vector<std::uint8_t>(10, 0x00)), "00 00 00 .. (9 00's)");
  EXPECT_EQ(dump(std::vector<std::uint8_t>(9, 0xAB)), "ab ab ab .. (8 ab's)");
  EXPECT_EQ(dump(std::vector<std::uint8_t>(8, 0xAB)), "ab ab ab ab ab ab ab ab ")
      << "byte 0 never joins the run, so 8 bytes leave a run of 7";
  EXPECT_EQ(dump({0x01, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff, 0xff}), "01 ff ff ff ff ff ff ff ");
  EXPECT_EQ(dump({0x01, 0x02, 0x05, 0x05, 0x05, 0x05, 0x05, 0x05, 0x05, 0x05, 0x07}),
            "01 02 05 05 05 05 05 05 05 05 07 ")
      << "only a trailing run counts";
  EXPECT_EQ(dump({}), "");
}

TEST(HexDumpTest, DefaultSerialNumberPacket) {
  std::vector<std::uint8_t> packet(36, 0);
  const std::uint8_t header[] = {0x38, 0x24, 0x01, 0x01, 0x0b, 0x1e, 0x00, 0x1e};
  std::memcpy(packet.data(), header, sizeof header);
  EXPECT_EQ(dump(packet), "38 24 01 01 0b 1e 00 1e 00 00 .. (28 00's)");
}

TEST(HexDumpTest, SmallBufferShowsWhatFits) {
  const std::vector<std::uint8_t> bytes = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10};
  EXPECT_EQ(dump(bytes, 12), "01 02 03 ");
  EXPECT_EQ(dump(bytes, 32), "01 02 03 04 05 06 07 08 09 ") << "(count + 1) * 3 must fit";
  EXPECT_EQ(dump(bytes, 33), "01 02 03 04 05 06 07 08 09 0a ");
  EXPECT_EQ(dump(std::vector<std::uint8_t>(64, 0), 30), "00 00 00 .. (8 00's)")
      << "the run is counted among the bytes that fit";
}

TEST(HexDumpTest, TinyBuffersStayInside) {
  const std::vector<std::uint8_t> bytes(40, 0x11);
  for (std::size_t size = 0; size <= 6; ++size) {
    std::array<char, 8> text;
    text.fill('Z');
    FormatHexBytes(text.data(), size, bytes.data(), bytes.size());
    for (std::size_t i = size; i < text.size(); ++i) EXPECT_EQ(text[i], 'Z') << size;
    if (size > 0) {
      EXPECT_NE(std::memchr(text.data(), '\0', size), nullptr) << size;
    }
  }
  char one = 'Z';
  EXPECT_EQ(FormatHexBytes(&one, 1, bytes.data(), bytes.size()), &one);
  EXPECT_EQ(one, '\0');
}

}  // namespace
}  // namespace qx5
