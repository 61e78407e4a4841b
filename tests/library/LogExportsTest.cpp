// The logging exports as an application reaches them: libqx5dll.so loaded by name.
#include <dlfcn.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "support/TempDir.h"

using testing::HasSubstr;
using testing::Not;

namespace {

using LogStartFn = bool (*)(const char*, int);
using LogInitToStdoutFn = bool (*)(int, const char*, bool);
using LogStopFn = bool (*)();
using LogMessageFn = bool (*)(int, const char*);

class LogExportsTest : public testing::Test {
 protected:
  void SetUp() override {
    library_ = dlopen(QX5_BIN_DIR "/libqx5dll.so", RTLD_NOW | RTLD_LOCAL);
    ASSERT_NE(library_, nullptr) << dlerror();
    logStart_ = reinterpret_cast<LogStartFn>(dlsym(library_, "LogStart"));
    logInitToStdout_ = reinterpret_cast<LogInitToStdoutFn>(dlsym(library_, "LogInitToStdout"));
    logStop_ = reinterpret_cast<LogStopFn>(dlsym(library_, "LogStop"));
    logMessage_ = reinterpret_cast<LogMessageFn>(dlsym(library_, "LogMessage"));
    ASSERT_TRUE(logStart_ && logInitToStdout_ && logStop_ && logMessage_);
  }
  void TearDown() override {
    if (logStop_) logStop_();
    if (library_) dlclose(library_);
  }

  void* library_ = nullptr;
  LogStartFn logStart_ = nullptr;
  LogInitToStdoutFn logInitToStdout_ = nullptr;
  LogStopFn logStop_ = nullptr;
  LogMessageFn logMessage_ = nullptr;
  qx5::test::TempDir dir_;
};

TEST_F(LogExportsTest, StartMessageStopWriteTheCurrentFile) {
  const std::string name = dir_.file("app.txt");
  ASSERT_TRUE(logStart_(name.c_str(), 4));
  EXPECT_TRUE(logMessage_(4, "hello from the application"));
  EXPECT_TRUE(logMessage_(5, "too detailed"));
  EXPECT_TRUE(logMessage_(2, nullptr));
  EXPECT_TRUE(logStop_());
  EXPECT_TRUE(logMessage_(1, "after stop"));
  const std::string text = qx5::test::readFile(dir_.file("app_0.txt"));
  EXPECT_THAT(text, HasSubstr("INFO      hello from the application\n"));
  EXPECT_THAT(text, HasSubstr("ERROR     \n"));
  EXPECT_THAT(text, HasSubstr("INFO      Logfile closed.\n"));
  EXPECT_THAT(text, Not(HasSubstr("too detailed")));
  EXPECT_THAT(text, Not(HasSubstr("after stop")));
}

TEST_F(LogExportsTest, StartWithAnUnopenableFileFails) {
  EXPECT_FALSE(logStart_(dir_.file("no/such/dir/app").c_str(), 9));
  EXPECT_TRUE(logInitToStdout_(9, nullptr, false));
}

TEST_F(LogExportsTest, StdoutStartWritesTimeOfDayLines) {
  testing::internal::CaptureStdout();
  EXPECT_TRUE(logInitToStdout_(8, nullptr, true));
  EXPECT_TRUE(logMessage_(8, "to the console"));
  const std::string out = testing::internal::GetCapturedStdout();
  EXPECT_THAT(out, testing::ContainsRegex(
                       R"([0-9]{2}:[0-9]{2}:[0-9]{2}\.[0-9]{3} DEBUG     to the console)"));
  EXPECT_FALSE(std::filesystem::exists(dir_.file("app_0.log")));
}

TEST_F(LogExportsTest, OnlyTheExportTableLeavesTheLibrary) {
  EXPECT_EQ(dlsym(library_, "_ZN3qx57logInitEiPKcb"), nullptr) << "internals stay hidden";
}

}  // namespace
