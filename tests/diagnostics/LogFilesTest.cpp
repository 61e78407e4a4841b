#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <regex>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/LogFiles.h"
#include "support/LogCapture.h"
#include "support/TempDir.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::Not;

namespace qx5 {
namespace {

namespace fs = std::filesystem;
using test::readTextFile;

class LogFilesTest : public testing::Test {
 protected:
  void TearDown() override { logInit(kLogOff, nullptr, false); }
  test::TempDir dir_;
};

TEST_F(LogFilesTest, NamesKeepTheExtensionOrAddLog) {
  struct Case {
    const char* name;
    const char* current;
    const char* fileOne;
  };
  const Case cases[] = {
      {"c:\\logs\\gauge.txt", "c:\\logs\\gauge_0.txt", "c:\\logs\\gauge_1.txt"},
      {"gauge", "gauge_0.log", "gauge_1.log"},
      {"/var/log.d/gauge", "/var/log.d/gauge_0.log", "/var/log.d/gauge_1.log"},
      {"C:gauge", "C:gauge_0.log", "C:gauge_1.log"},
      {"logs.old\\gauge", "logs.old\\gauge_0.log", "logs.old\\gauge_1.log"},
      {"a.b.c", "a.b_0.c", "a.b_1.c"},
      {".profile", ".profile_0.log", ".profile_1.log"},  // a leading dot is no extension
  };
  for (const Case& c : cases) {
    SetLogFileName(c.name);
    EXPECT_EQ(LogFileName(0), c.current) << c.name;
    EXPECT_EQ(LogFileName(1), c.fileOne) << c.name;
  }
  SetLogFileName("gauge");
  EXPECT_EQ(LogFileTemplate(), "gauge_%d.log");
}

TEST_F(LogFilesTest, FileLinesCarryDateTimeLevelTagAndMessage) {
  const std::string name = dir_.file("gauge.txt");
  ASSERT_TRUE(logInit(kLogDebug, name.c_str(), false));
  SetLogDeviceTag("[%d,%d]", 0, 1234);
  FirstCallMark mark{0};
  {
    LogFunction scope(&mark, "SetRange", "SetRange");
    FirstCallMark innerMark{0};
    LogFunction inner(&innerMark, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
    inner.Detail("Sending command %d (0x%02x)", 24, 24);
  }
  const std::string text = readTextFile(dir_.file("gauge_0.txt"));
  // The start line first: its message ends in a line end of its own.
  const std::regex expected(
      R"(^\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} DEBUG     logInit '.*gauge\.txt' open for level 8\.

\d{4}/\d\d/\d\d \d\d:\d\d:\d\d\.\d{3} DEBUG     \[0,1234\] SetRange  SendReceivePacket Sending command 24 \(0x18\)
$)");
  EXPECT_TRUE(std::regex_match(text, expected)) << text;
}

TEST_F(LogFilesTest, SevenStartsKeepTheCurrentFileAndFiveOlderOnes) {
  const std::string name = dir_.file("run");
  for (int start = 1; start <= 7; ++start) {
    ASSERT_TRUE(logInit(kLogInfo, name.c_str(), false));
    LogPrint(kLogInfo, "start %d", start);
  }
  SetLogFileName(name.c_str());
  for (int n = 0; n < kLogFilesKept; ++n) {
    EXPECT_THAT(readTextFile(LogFileName(n)), HasSubstr("start " + std::to_string(7 - n))) << n;
  }
  EXPECT_FALSE(fs::exists(LogFileName(kLogFilesKept)));
  EXPECT_EQ(std::distance(fs::directory_iterator(dir_.path()), fs::directory_iterator()),
            kLogFilesKept);
}

TEST_F(LogFilesTest, StartRotatesEvenAnEmptyCurrentFile) {
  const std::string name = dir_.file("g.log");
  ASSERT_TRUE(logInit(kLogInfo, name.c_str(), false));
  ASSERT_TRUE(logInit(kLogInfo, name.c_str(), false));
  EXPECT_TRUE(fs::exists(dir_.file("g_1.log")));
  EXPECT_TRUE(fs::exists(dir_.file("g_0.log")));
  EXPECT_FALSE(fs::exists(dir_.file("g_2.log")));
}

TEST_F(LogFilesTest, LineWritesRotateAtOneMebibyte) {
  const std::string name = dir_.file("big.log");
  ASSERT_TRUE(logInit(kLogInfo, name.c_str(), false));
  const std::string current = dir_.file("big_0.log");
  // Filled up by writing, not resize_file: MinGW's ftruncate asks Windows for the volume's free
  // space, which a fresh Wine prefix does not always know (it crashed there).
  std::ofstream(current, std::ios::binary | std::ios::app)
      << std::string(kLogFileLimit - 1 - fs::file_size(current), 'x');
  ASSERT_EQ(fs::file_size(current), kLogFileLimit - 1);
  LogPrint(kLogInfo, "still here");
  EXPECT_FALSE(fs::exists(dir_.file("big_1.log")));
  EXPECT_GT(fs::file_size(current), kLogFileLimit);

  LogPrint(kLogInfo, "fresh file");
  EXPECT_GT(fs::file_size(dir_.file("big_1.log")), kLogFileLimit);
  EXPECT_THAT(readTextFile(current), HasSubstr("fresh file"));
  EXPECT_THAT(readTextFile(current), Not(HasSubstr("still here")));
}

TEST_F(LogFilesTest, UnopenableFileFailsStartWithItsErrorLine) {
  const std::string name = dir_.file("missing/dir/gauge.log");
  testing::internal::CaptureStdout();
  EXPECT_FALSE(logInit(kLogError, name.c_str(), true));
  LogPrint(kLogError, "later line");
  const auto lines = test::stdoutLines(testing::internal::GetCapturedStdout());
  EXPECT_THAT(lines, ElementsAre("ERROR     logInit '" + name + "' can not be open.", "",
                                 "ERROR     later line"));
  EXPECT_FALSE(fs::exists(dir_.file("missing")));
}

TEST_F(LogFilesTest, StartWithoutFileWritesToStandardOutputOnly) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(logInit(kLogDebug, nullptr, true));
  const std::string captured = testing::internal::GetCapturedStdout();
  EXPECT_TRUE(std::regex_search(
      captured,
      std::regex(R"(^\d\d:\d\d:\d\d\.\d{3} DEBUG     logInit '' open for level 8\.\n\n$)")))
      << captured;
  EXPECT_TRUE(OpenLogFile(0) == nullptr) << "no file configured";
}

}  // namespace
}  // namespace qx5
