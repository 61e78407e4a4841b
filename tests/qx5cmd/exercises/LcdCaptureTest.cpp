#include "qx5cmd/exercises/LcdCapture.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <regex>

#include "qx5cmd/exercises/MonochromeBitmap.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

namespace fs = std::filesystem;
using ::testing::HasSubstr;
using ::testing::StartsWith;

std::uint32_t le32(const std::string& bytes, std::size_t at) {
  std::uint32_t v = 0;
  for (int i = 3; i >= 0; --i) v = v << 8 | static_cast<std::uint8_t>(bytes[at + i]);
  return v;
}
std::uint16_t le16(const std::string& bytes, std::size_t at) {
  return static_cast<std::uint16_t>(static_cast<std::uint8_t>(bytes[at]) |
                                    static_cast<std::uint8_t>(bytes[at + 1]) << 8);
}

// Every row different, and the display's top-left pixel dark.
LcdImage patterned() {
  LcdImage image{};
  for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 7 + 3);
  image[0] = 0x80;
  return image;
}

TEST(MonochromeBitmapTest, HeadersColoursAndBottomUpRows) {
  LcdImage image = patterned();
  auto file = lcdBitmap(image);
  std::string bytes(file.begin(), file.end());
  ASSERT_EQ(bytes.size(), 1086u);
  EXPECT_EQ(bytes.substr(0, 2), "BM");
  EXPECT_EQ(le32(bytes, 2), 1086u);
  EXPECT_EQ(le32(bytes, 6), 0u);
  EXPECT_EQ(le32(bytes, 10), 62u);
  EXPECT_EQ(le32(bytes, 14), 40u);
  EXPECT_EQ(le32(bytes, 18), 128u);
  EXPECT_EQ(le32(bytes, 22), 64u);
  EXPECT_EQ(le16(bytes, 26), 1);
  EXPECT_EQ(le16(bytes, 28), 1);
  for (std::size_t at : {30, 34, 38, 42}) EXPECT_EQ(le32(bytes, at), 0u) << at;
  EXPECT_EQ(le32(bytes, 46), 2u);
  EXPECT_EQ(le32(bytes, 50), 2u);
  EXPECT_EQ(bytes.substr(54, 8), std::string("\xD8\xD8\xD8\0\0\0\0\0", 8));
  for (int row = 0; row < 64; ++row) {
    EXPECT_EQ(bytes.substr(62 + (63 - row) * 16, 16),
              std::string(image.begin() + row * 16, image.begin() + row * 16 + 16))
        << row;
  }
  // The top-left pixel is the highest bit of the first byte of the last row stored.
  EXPECT_EQ(static_cast<std::uint8_t>(bytes[62 + 63 * 16]), 0x80);
}

TEST(MonochromeBitmapTest, UnwritablePathIsReported) {
  std::uint8_t byte = 0;
  EXPECT_FALSE(writeBinaryFile("/nonexistent-folder/lcd.bmp", &byte, 1));
}

class LcdCaptureTest : public testing::FakeSessionTest {
 protected:
  void SetUp() override {
    FakeSessionTest::SetUp();
    previous_ = fs::current_path();
    fs::current_path(dir_.path());
  }
  void TearDown() override {
    fs::current_path(previous_);
    FakeSessionTest::TearDown();
  }

  std::vector<fs::path> bitmaps() const {
    std::vector<fs::path> found;
    for (const auto& entry : fs::directory_iterator(dir_.path())) found.push_back(entry.path());
    return found;
  }

  bool capture(std::string& out) {
    aGetLcd lcd("lcd", "get the contents of the lcd");
    lcd.prepare();
    ::testing::internal::CaptureStdout();
    bool ok = lcd.run();
    out = ::testing::internal::GetCapturedStdout();
    return ok;
  }

  qx5::test::TempDir dir_;
  fs::path previous_;
};

TEST_F(LcdCaptureTest, PrintsEveryRowAndWritesTheBitmapNamedAfterGaugeAndTime) {
  LcdImage image = patterned();
  fake_.setLcd(image.data());
  std::string out;
  ASSERT_TRUE(capture(out));
  EXPECT_THAT(out, StartsWith("[00] 80 0a 11 18 1f 26 2d 34 3b 42 49 50 57 5e 65 6c\n"
                              "[01] 73 7a 81 88"));
  EXPECT_THAT(out, HasSubstr("\n[63] "));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 64);

  auto files = bitmaps();
  ASSERT_EQ(files.size(), 1u);
  std::string name = files[0].filename().string();
  EXPECT_TRUE(std::regex_match(name, std::regex("lcd_12345_[A-Z][a-z]{2}\\d\\d_\\d{6}\\.bmp")))
      << name;
  auto expected = lcdBitmap(image);
  EXPECT_EQ(qx5::test::readFile(files[0].string()), std::string(expected.begin(), expected.end()));
}

TEST_F(LcdCaptureTest, FailedRowEndsTheCaptureWithoutAFile) {
  LcdImage image = patterned();
  fake_.setLcd(image.data(), 5);
  std::string out;
  EXPECT_FALSE(capture(out));
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 5);
  EXPECT_THAT(out, HasSubstr("\n[04] "));
  EXPECT_TRUE(bitmaps().empty());
}

TEST_F(LcdCaptureTest, MissingExportFailsWithoutCallingIt) {
  LibraryBinding partial(testing::fakeLibraryPath());
  partial.GetLcdRow.reset();
  session().binding = &partial;
  std::string out;
  EXPECT_FALSE(capture(out));
  EXPECT_EQ(out, "lcd: the library lacks GetLcdRow\n");
  EXPECT_TRUE(bitmaps().empty());
}

TEST_F(LcdCaptureTest, FileThatCannotBeWrittenIsNamedAndTheCaptureStillSucceeds) {
#if defined(_WIN32)
  GTEST_SKIP() << "a process's working folder cannot be removed on Windows";
#endif
  // A working folder that no longer exists: nothing can be created in it.
  fs::path gone = dir_.path() / "gone";
  fs::create_directory(gone);
  fs::current_path(gone);
  fs::remove(gone);
  std::string out;
  EXPECT_TRUE(capture(out));
  fs::current_path(dir_.path());
  EXPECT_TRUE(std::regex_search(out, std::regex("\ncouldn't write lcd_12345_\\S+\\.bmp\n$")))
      << out;
}

}  // namespace
}  // namespace qx5cmd
