#include "qx5cmd/firmware/HexWriter.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexTestFiles.h"

using testing::ElementsAre;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

// The address fields and counts of the records, e.g. "10@FFF0" or "ELA 0001".
std::vector<std::string> layout(const std::vector<std::string>& records) {
  std::vector<std::string> result;
  for (const auto& r : records)
    result.push_back(r.substr(7, 2) == "04" ? "ELA " + r.substr(9, 4)
                                            : r.substr(1, 2) + "@" + r.substr(3, 4));
  return result;
}

}  // namespace

TEST(HexWriter, KilobyteAtZeroAnnouncesUpperAddressZeroFirst) {
  TempDir dir;
  {
    HexWriter writer(dir.file("a.hex"));
    writer.writeBlock(0, std::vector<uint8_t>(1024, 0x11).data(), 1024);
    writer.writeEndOfFileRecord();
  }
  const auto records = lines(readTextFile(dir.file("a.hex")));
  ASSERT_EQ(records.size(), 66u);
  EXPECT_EQ(records.front(), ":020000040000FA");
  EXPECT_EQ(records[1], hexRecord(0, 0, std::vector<uint8_t>(16, 0x11)));
  EXPECT_EQ(records[64].substr(0, 9), ":1003F000");
  EXPECT_EQ(records.back(), ":00000001FF");
}

TEST(HexWriter, EepromImageEndsWithAShortRecord) {
  TempDir dir;
  HexWriter writer(dir.file("e.hex"));
  writer.writeBlock(0xF00000, std::vector<uint8_t>(1010).data(), 1010);
  ASSERT_TRUE(writer.close());
  const auto records = lines(readTextFile(dir.file("e.hex")));
  ASSERT_EQ(records.size(), 65u);
  EXPECT_EQ(records.front(), ":0200000400F00A");
  EXPECT_EQ(layout({records.back()}), std::vector<std::string>{"02@03F0"});
}

TEST(HexWriter, RecordsFollowTheBlockStartAndAreNeverSplitAt64KiB) {
  TempDir dir;
  HexWriter writer(dir.file("b.hex"));
  std::vector<uint8_t> data(48, 0x5A);
  writer.writeBlock(0x0005, data.data(), 20);
  writer.writeBlock(0xFFF0, data.data(), 48);
  writer.writeBlock(0x1FFF8, data.data(), 16);
  writer.writeBlock(0x20008, data.data(), 1);
  ASSERT_TRUE(writer.close());
  EXPECT_THAT(layout(lines(readTextFile(dir.file("b.hex")))),
              ElementsAre("ELA 0000", "10@0005", "04@0015", "10@FFF0", "ELA 0001", "10@0000",
                          "10@0010", "10@FFF8", "ELA 0002", "01@0008"));
}

TEST(HexWriter, RefusesRecordsOver255BytesAndFilesItCannotCreate) {
  TempDir dir;
  std::vector<uint8_t> data(256, 1);
  {
    HexWriter writer(dir.file("r.hex"));
    EXPECT_FALSE(writer.writeRecord(0, 0, data.data(), 256));
    EXPECT_TRUE(writer.writeRecord(0, 0, data.data(), 255));
  }
  EXPECT_EQ(readTextFile(dir.file("r.hex")), hexRecord(0, 0, std::vector<uint8_t>(255, 1)) + "\n");

  const std::string bad = dir.file("missing/dir/x.hex");
  CaptureStdout();
  HexWriter writer(bad);
  writer.writeBlock(0, data.data(), 16);
  EXPECT_EQ(GetCapturedStdout(), "unable to create file \"" + bad + "\"\n");
  EXPECT_FALSE(writer.isOpen());
  EXPECT_FALSE(writer.close());
}

TEST(HexWriter, NewOnlyModeKeepsAnExistingFile) {
  TempDir dir;
  writeFile(dir.file("k.hex"), "keep");
  CaptureStdout();
  HexWriter writer(dir.file("k.hex"), HexWriter::Create::newOnly);
  GetCapturedStdout();
  EXPECT_FALSE(writer.isOpen());
  EXPECT_EQ(readFile(dir.file("k.hex")), "keep");
}

TEST(HexWriter, ReaderGetsBackWhatTheWriterWrote) {
  TempDir dir;
  std::mt19937 random(7);
  const auto data = randomBytes(random, 3000);
  {
    HexWriter writer(dir.file("w.hex"));
    writer.writeBlock(0x2FFC0, data.data(), data.size());
    writer.writeEndOfFileRecord();
  }
  HexReader reader;
  ASSERT_TRUE(reader.load(dir.file("w.hex")));
  std::vector<uint8_t> joined;
  for (const auto& range : reader.ranges()) {
    EXPECT_EQ(range.startAddress, 0x2FFC0 + joined.size());
    joined.insert(joined.end(), range.bytes.begin(), range.bytes.end());
  }
  EXPECT_EQ(joined, data);
}
