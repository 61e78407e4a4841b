// Random and mutated lines: the reader must not crash, must not read past a line (each line
// sits alone in a buffer of its exact size, which ASan guards), and must report what is wrong.
#include <gtest/gtest.h>

#include <cctype>
#include <cstring>
#include <memory>

#include "qx5cmd/firmware/HexReader.h"
#include "qx5cmd/firmware/HexTestFiles.h"

using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

struct Outcome {
  bool ok;
  std::string output;
};

Outcome loadExact(HexReader& reader, const std::string& text) {
  std::unique_ptr<char[]> exact(new char[text.size()]);
  std::memcpy(exact.get(), text.data(), text.size());
  CaptureStdout();
  const bool ok = reader.loadText({exact.get(), text.size()}, "fuzz.hex");
  Outcome outcome{ok, GetCapturedStdout()};
  uint64_t sum = 0;
  for (const auto& range : reader.ranges()) {
    EXPECT_EQ(range.startAddress % 64, 0u);
    EXPECT_FALSE(range.bytes.empty());
    sum += range.bytes.size();
  }
  EXPECT_EQ(sum, reader.total());
  return outcome;
}

char randomChar(std::mt19937& random) {
  static const char kAlphabet[] = "0123456789ABCDEFabcdef::::\r\n \t\x00\xFFgxZ-";
  return kAlphabet[random() % (sizeof kAlphabet - 1)];
}

std::string validRecord(std::mt19937& random) {
  switch (random() % 4) {
    case 0:
      return hexRecord(static_cast<uint16_t>(random()), 4, randomBytes(random, 2));
    case 1:
      return hexRecord(0, 1, {});
    default:
      return hexRecord(static_cast<uint16_t>(random()), 0, randomBytes(random, random() % 40));
  }
}

bool isHexDigit(char c) { return std::isxdigit(static_cast<unsigned char>(c)) != 0; }

}  // namespace

TEST(HexReaderFuzz, RandomLinesNeverCrashOrOverread) {
  std::mt19937 random(1);
  HexReader reader;
  for (int i = 0; i < 3000; ++i) {
    std::string text = random() % 8 == 0 ? "" : ":";
    const size_t length = random() % 90;
    for (size_t k = 0; k < length; ++k) text += randomChar(random);
    if (text.empty()) continue;
    loadExact(reader, text);
  }
}

TEST(HexReaderFuzz, MutatedRecordsAreReported) {
  std::mt19937 random(2);
  HexReader reader;
  for (int i = 0; i < 3000; ++i) {
    const std::string original = validRecord(random);
    std::string line = original;
    const size_t at = 1 + random() % (line.size() - 1);
    std::string expected;
    switch (random() % 4) {
      case 0:  // cut short: the missing bytes are bad bytes
        line.resize(at);
        expected = "bad byte";
        break;
      case 1:  // a digit after the count changed to another: the sum is off
        if (at < 3) continue;
        do line[at] = "0123456789ABCDEF"[random() % 16];
        while (line[at] == original[at]);
        expected = "bad checksum";
        break;
      case 2:  // a character that is no hex digit (nor a line end)
        do line[at] = randomChar(random);
        while (isHexDigit(line[at]) || line[at] == '\n' || line[at] == '\r');
        expected = "bad byte";
        break;
      default:  // anything goes, as long as nothing breaks
        line.insert(at, 1, randomChar(random));
        line.erase(random() % line.size(), 1);
        break;
    }
    SCOPED_TRACE(original + " -> " + line);
    const Outcome alone = loadExact(reader, line);
    const Outcome inFile = loadExact(reader, ":020000040001F9\n" + line + "\n:00000001FF\n");
    if (!expected.empty()) {
      EXPECT_FALSE(alone.ok);
      EXPECT_FALSE(inFile.ok);
      EXPECT_NE(inFile.output.find(expected + " in line 2\n" + line + "\n"), std::string::npos)
          << inFile.output;
    }
  }
}
