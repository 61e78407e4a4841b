#include "qx5cmd/firmware/HexReader.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>
#include <memory>

#include "qx5cmd/firmware/HexTestFiles.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

const std::string kEof = ":00000001FF";

std::vector<uint8_t> filled(size_t n, uint8_t value) { return std::vector<uint8_t>(n, value); }

std::vector<uint8_t> concat(std::vector<uint8_t> a, const std::vector<uint8_t>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

struct Loaded {
  bool ok;
  std::string output;
};

Loaded load(HexReader& reader, const std::vector<std::string>& lines) {
  std::string text;
  for (const auto& line : lines) text += line + "\n";
  CaptureStdout();
  const bool ok = reader.loadText(text, "f.hex");
  return {ok, GetCapturedStdout()};
}

}  // namespace

TEST(HexReader, RangesStartOn64ByteBoundariesAndFillSmallGapsWithErasedBytes) {
  HexReader reader;
  const auto a = filled(16, 0x11), b = filled(16, 0x22), c = filled(4, 0x33);
  // 0x05: 5 bytes of fill before it; 0x30 after 0x10: gap of 32 filled; 0x90: gap of 64 closes.
  auto result = load(reader, {hexRecord(0x0005, 0, c), hexRecord(0x0009, 0, a),
                              hexRecord(0x0039, 0, b), hexRecord(0x0079 + 0x40, 0, a), kEof});
  ASSERT_TRUE(result.ok) << result.output;
  ASSERT_EQ(reader.ranges().size(), 2u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0u);
  EXPECT_EQ(reader.ranges()[0].bytes,
            concat(concat(concat(concat(filled(5, 0xFF), c), a), filled(32, 0xFF)), b));
  EXPECT_EQ(reader.ranges()[1].startAddress, 0x80u);
  EXPECT_EQ(reader.ranges()[1].bytes, concat(filled(0x39, 0xFF), a));
  EXPECT_EQ(reader.total(), 0x49u + 0x39 + 16);
}

TEST(HexReader, GapOf63StaysInTheRangeAndBackwardRecordsStartANewOne) {
  HexReader reader;
  const auto a = filled(16, 0xAA);
  auto result = load(
      reader, {hexRecord(0x0000, 0, a), hexRecord(0x004F, 0, a), hexRecord(0x0010, 0, a), kEof});
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(reader.ranges().size(), 2u);
  EXPECT_EQ(reader.ranges()[0].bytes.size(), 0x5Fu);
  EXPECT_EQ(reader.ranges()[1].startAddress, 0u);
  EXPECT_EQ(reader.ranges()[1].bytes, concat(filled(16, 0xFF), a));
}

TEST(HexReader, ExtendedLinearAddressMovesLaterDataAndClosesTheRange) {
  HexReader reader;
  const auto a = filled(2, 0x5A);
  auto result = load(reader, {hexRecord(0xFFFE, 0, a), ":020000040030CA", hexRecord(0, 0, a),
                              ":0200000400F00A", hexRecord(0x03F0, 0, a), kEof});
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(reader.ranges().size(), 3u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0xFFC0u);
  EXPECT_EQ(reader.ranges()[1].startAddress, 0x300000u);
  EXPECT_EQ(reader.ranges()[2].startAddress, 0xF003C0u);
  EXPECT_EQ(reader.ranges()[2].bytes, concat(filled(0x30, 0xFF), a));
}

TEST(HexReader, RecordRunningPast64KiBIsContinuedAcrossTheNextUpperAddress) {
  // A new range at 0x10000 would fill 0x10000..0x10007 with 0xFF over the first record's tail.
  HexReader reader;
  const auto a = filled(16, 0xA1), b = filled(16, 0xB2);
  auto result = load(reader, {hexRecord(0xFFF8, 0, a), ":020000040001F9", hexRecord(0x0008, 0, b),
                              ":020000040001F9", hexRecord(0x0019, 0, a), kEof});
  ASSERT_TRUE(result.ok);
  ASSERT_EQ(reader.ranges().size(), 2u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0xFFC0u);
  EXPECT_EQ(reader.ranges()[0].bytes, concat(concat(filled(0x38, 0xFF), a), b));
  EXPECT_EQ(reader.ranges()[1].startAddress, 0x10000u);
}

TEST(HexReader, UnknownRecordTypeIsPrintedAndLeavesTheRangeOpen) {
  HexReader reader;
  auto result = load(reader, {hexRecord(0, 0, {1}), hexRecord(0, 0x05, {0, 0, 0, 0}),
                              hexRecord(0x1B, 0x2B, {}), hexRecord(1, 0, {2}), kEof});
  ASSERT_TRUE(result.ok);
  EXPECT_EQ(result.output, "unknown record type 5\nunknown record type 2b\n");
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_THAT(reader.ranges()[0].bytes, ElementsAre(1, 2));
}

TEST(HexReader, EachErrorIsReportedInThreeLinesAndTheRecordStillApplies) {
  HexReader reader;
  auto result = load(reader, {"", "10", ":0100000011EF", ":01000100zz00", kEof});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.output,
            " error parsing f.hex\nmissing ':' in line 2\n10\n"
            " error parsing f.hex\nbad checksum in line 3\n:0100000011EF\n"
            " error parsing f.hex\nbad byte in line 4\n:01000100zz00\n"
            " error parsing f.hex\nbad checksum in line 4\n:01000100zz00\n");
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_THAT(reader.ranges()[0].bytes, ElementsAre(0x11, 0x00));
}

TEST(HexReader, RecordRuleViolationsAreReported) {
  const struct {
    std::string line, message;
  } cases[] = {
      {hexRecord(0, 1, {0}), "EOF Record should have 0 data bytes"},
      {hexRecord(0, 4, {0, 1, 2}), "extended Linear Address Record should have 2 data bytes"},
      {hexRecord(8, 4, {0, 1}), "extended Linear Address Record should address==0"},
      // Both would put data at addresses the file never meant, without a word.
      {hexRecord(0, 2, {0x10, 0x00}), "extended Segment Address Record not supported"},
      {hexRecord(0, 0, {1}) + hexRecord(1, 0, {2}), "second record on one line"},
      {hexRecord(0, 0, {1}) + " " + hexRecord(1, 0, {2}), "second record on one line"},
  };
  for (const auto& c : cases) {
    HexReader reader;
    auto result = load(reader, {c.line, kEof});
    EXPECT_FALSE(result.ok);
    EXPECT_THAT(result.output, HasSubstr(c.message + " in line 1\n" + c.line + "\n"));
  }
}

TEST(HexReader, ShortExtendedLinearAddressKeepsThePreviousUpperAddress) {
  HexReader reader;
  auto result =
      load(reader, {":020000040030CA", hexRecord(0, 4, {0x12}), hexRecord(0, 0, {7}), kEof});
  EXPECT_FALSE(result.ok);
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0x300000u);
}

TEST(HexReader, LineEndingEarlyReportsEachMissingByteAndReadsNoFurther) {
  // The line sits alone in a buffer of its exact size, so reading past it trips ASan.
  const std::string line = ":0300000001";
  std::unique_ptr<char[]> exact(new char[line.size()]);
  std::memcpy(exact.get(), line.data(), line.size());
  HexReader reader;
  CaptureStdout();
  EXPECT_FALSE(reader.loadText({exact.get(), line.size()}, "f.hex"));
  const std::string output = GetCapturedStdout();
  size_t badBytes = 0;
  for (size_t at = 0; (at = output.find("bad byte in line 1\n", at)) != std::string::npos; ++at)
    ++badBytes;
  EXPECT_EQ(badBytes, 3u);  // two data bytes and the checksum
}

TEST(HexReader, NoEndOfFileRecordFailsAndDropsTheOpenRange) {
  HexReader reader;
  auto result = load(reader, {hexRecord(0, 0, {1}), ":020000040001F9", hexRecord(0, 0, {2})});
  EXPECT_FALSE(result.ok);
  EXPECT_EQ(result.output, " error parsing f.hex\nno end of file record in line 3\n" +
                               hexRecord(0, 0, {2}) + "\n");
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_EQ(reader.total(), 1u);
}

TEST(HexReader, LinesAfterTheEndOfFileRecordAreNotRead) {
  HexReader reader;
  auto result = load(reader, {hexRecord(0, 0, {1}), "\r", kEof, "garbage", hexRecord(0, 0, {2})});
  EXPECT_TRUE(result.ok) << result.output;
  EXPECT_EQ(reader.total(), 1u);
}

TEST(HexReader, CarriageReturnsAndLowerCaseHexAreAccepted) {
  HexReader reader;
  CaptureStdout();
  EXPECT_TRUE(reader.loadText(":0100000011ee\r\n\r\n:00000001ff\r\n", "f.hex"));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_EQ(reader.total(), 1u);
}

TEST(HexReader, FilesAreReadAndEachLoadStartsAfresh) {
  TempDir dir;
  writeFile(dir.file("a.hex"), ":020000040030CA\n" + hexRecord(0, 0, {1, 2}) + "\n" + kEof);
  HexReader reader;
  ASSERT_TRUE(reader.load(dir.file("a.hex")));
  ASSERT_TRUE(reader.load(dir.file("a.hex")));
  ASSERT_EQ(reader.ranges().size(), 1u);
  EXPECT_EQ(reader.ranges()[0].startAddress, 0x300000u);
  EXPECT_EQ(reader.total(), 2u);

  CaptureStdout();
  EXPECT_FALSE(reader.load(dir.file("missing.hex")));
  EXPECT_EQ(GetCapturedStdout(), "");
  EXPECT_TRUE(reader.ranges().empty());
  EXPECT_EQ(reader.total(), 0u);
}
