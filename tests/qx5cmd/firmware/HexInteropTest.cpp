// Cross-checks against independent Intel HEX implementations: GNU objcopy and srec_cat.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>

#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexTestFiles.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace {

bool haveTool(const std::string& name) {
  return std::system(("command -v " + name + " >/dev/null 2>&1").c_str()) == 0;
}

bool run(const std::string& command) { return std::system(command.c_str()) == 0; }

std::string hexNumber(uint32_t value) {
  return "0x" + (std::ostringstream{} << std::hex << value).str();
}

// A sparse image: blocks with random contents at given addresses.
using Image = std::map<uint32_t, std::vector<uint8_t>>;

// Every byte of the image must be in the reader's ranges at its address; anything else the
// ranges hold must be 0xFF fill.
void expectReaderHolds(const HexReader& reader, const Image& image) {
  std::map<uint64_t, uint8_t> expected;
  for (const auto& [address, bytes] : image)
    for (size_t i = 0; i < bytes.size(); ++i) expected[address + i] = bytes[i];
  std::map<uint64_t, uint8_t> seen;
  for (const auto& range : reader.ranges()) {
    EXPECT_EQ(range.startAddress % 64, 0u);
    for (size_t i = 0; i < range.bytes.size(); ++i) {
      const uint64_t address = range.endAddress() - range.bytes.size() + i;
      auto want = expected.find(address);
      if (want == expected.end()) {
        ASSERT_EQ(range.bytes[i], 0xFF) << "fill at " << std::hex << address;
      } else {
        ASSERT_EQ(range.bytes[i], want->second) << "at " << std::hex << address;
        seen[address] = range.bytes[i];
      }
    }
  }
  EXPECT_EQ(seen.size(), expected.size());
}

class HexInterop : public testing::Test {
 protected:
  void SetUp() override {
    if (!haveTool("objcopy") || !haveTool("srec_cat"))
      GTEST_SKIP() << "objcopy or srec_cat missing";
  }
  TempDir dir;
  std::mt19937 random{2024};
};

}  // namespace

TEST_F(HexInterop, ObjcopyReadsWhatHexWriterWrites) {
  // Unaligned blocks with gaps and 64 KiB crossings; objcopy fills the gaps with 0xFF.
  const Image image = {{0x1FFF3, randomBytes(random, 0x1234)},
                       {0x21300, randomBytes(random, 7)},
                       {0x2FFF8, randomBytes(random, 16)},
                       {0x30010, randomBytes(random, 0x10005)}};
  {
    HexWriter writer(dir.file("w.hex"));
    for (const auto& [address, bytes] : image)
      writer.writeBlock(address, bytes.data(), bytes.size());
    writer.writeEndOfFileRecord();
  }
  ASSERT_TRUE(run("objcopy -I ihex -O binary --gap-fill 0xFF " + dir.file("w.hex") + " " +
                  dir.file("w.bin")));
  const uint32_t base = image.begin()->first;
  std::string expected;
  for (const auto& [address, bytes] : image) {
    expected.resize(address - base, '\xFF');
    expected.append(bytes.begin(), bytes.end());
  }
  EXPECT_TRUE(readFile(dir.file("w.bin")) == expected);
}

TEST_F(HexInterop, HexReaderLoadsWhatObjcopyWrites) {
  // objcopy uses extended linear addresses only above 1 MiB (segment records below).
  const uint32_t address = 0x10FFC3;
  const Image image = {{address, randomBytes(random, 0x2345F)}};
  writeFile(dir.file("in.bin"),
            std::string(image.begin()->second.begin(), image.begin()->second.end()));
  ASSERT_TRUE(run("objcopy -I binary -O ihex --change-addresses " + hexNumber(address) + " " +
                  dir.file("in.bin") + " " + dir.file("o.hex")));
  HexReader reader;
  ASSERT_TRUE(reader.load(dir.file("o.hex")));
  expectReaderHolds(reader, image);
}

TEST_F(HexInterop, HexReaderLoadsWhatSrecCatWritesWithGaps) {
  // Gaps below and above 64 bytes, a backward block, and several record lengths.
  const Image image = {
      {0x00005, randomBytes(random, 100)},     {0x000A9, randomBytes(random, 300)},
      {0x0FFE1, randomBytes(random, 0x50)},    {0x10071, randomBytes(random, 1)},
      {0x2FFFF, randomBytes(random, 0x10003)}, {0xF00000, randomBytes(random, 1010)}};
  std::string inputs;
  int n = 0;
  for (const auto& [address, bytes] : image) {
    const std::string name = dir.file("in" + std::to_string(n++) + ".bin");
    writeFile(name, std::string(bytes.begin(), bytes.end()));
    inputs += " " + name + " -Binary -offset " + hexNumber(address);
  }
  for (int blockSize : {16, 32, 255}) {
    SCOPED_TRACE(blockSize);
    const std::string out = dir.file("s" + std::to_string(blockSize) + ".hex");
    ASSERT_TRUE(run("srec_cat" + inputs + " -o " + out + " -Intel -Output_Block_Size " +
                    std::to_string(blockSize)));
    HexReader reader;
    testing::internal::CaptureStdout();
    EXPECT_TRUE(reader.load(out));
    testing::internal::GetCapturedStdout();  // srec_cat may add a start address record
    expectReaderHolds(reader, image);
  }
}
