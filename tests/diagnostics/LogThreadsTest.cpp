// Callers on several threads at once: each thread's call is described on its own (error text,
// device tag, first call), and the output is made of whole lines. scripts/test.sh also runs this
// suite under ThreadSanitizer.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/LogFiles.h"
#include "support/TempDir.h"

namespace qx5 {
namespace {

class LogThreads : public testing::Test {
 protected:
  void TearDown() override { logInit(kLogOff, nullptr, false); }
};

// Starts every body on a thread of its own at the same moment and waits for all.
template <typename Body>
void runTogether(int threads, Body body) {
  std::atomic<int> waiting{threads};
  std::vector<std::thread> running;
  for (int t = 0; t < threads; ++t)
    running.emplace_back([&, t] {
      --waiting;
      while (waiting.load() > 0) std::this_thread::yield();
      body(t);
    });
  for (auto& thread : running) thread.join();
}

TEST_F(LogThreads, EachThreadSeesOnlyItsOwnErrorTextAndTag) {
  logInit(kLogOff, nullptr, false);
  SetLogDeviceTag("[main]");
  FirstCallMark mark{0};
  LogFunction mainScope(&mark, "SetRange", "SetRange");
  mainScope.Error("main failed");
  std::string texts[2];
  runTogether(2, [&](int t) {
    EXPECT_EQ(ErrorText(), "") << "a new thread starts without errors";
    SetLogDeviceTag("[%d,100%d]", t, t);
    for (int call = 0; call < 100; ++call) {
      LogFunction scope(&mark, "GetPressure", "GetPressure");
      scope.Error("thread %d call %d", t, call);
    }
    texts[t] = TakeErrorText();
  });
  EXPECT_EQ(texts[0], "[0,1000] GetPressure thread 0 call 99\n");
  EXPECT_EQ(texts[1], "[1,1001] GetPressure thread 1 call 99\n");
  EXPECT_EQ(ErrorText(), "[main] SetRange main failed\n") << "other threads leave it alone";
}

// Checks that every line of `text` is one the writers below write (after a header that starts
// with `date`), and counts them per thread and first calls.
void expectWholeLines(const std::string& text, const std::string& date, int threads, int calls) {
  const std::regex line(date + R"(\d\d:\d\d:\d\d\.\d{3} (FIRST|TRACE|DEBUG)     \[t(\d)\])"
                               R"((>GetPressure \d+| GetPressure->SendReceivePacket)"
                               R"(| GetPressure  SendReceivePacket reply of 64 bytes)"
                               R"(| GetPressure<-SendReceivePacket|<GetPressure))");
  std::istringstream in(text);
  std::map<int, int> linesOf;
  int firstCallEntries = 0;
  std::smatch match;
  for (std::string text; std::getline(in, text);) {
    if (text.find("logInit") != std::string::npos) {
      std::getline(in, text);  // its message ends in a line break of its own
      continue;
    }
    ASSERT_TRUE(std::regex_match(text, match, line)) << "torn or mixed line: " << text;
    ++linesOf[std::stoi(match[2])];
    if (match[1] == "FIRST" && match[3].str().front() == '>') ++firstCallEntries;
  }
  for (int t = 0; t < threads; ++t) EXPECT_EQ(linesOf[t], calls * 5) << "thread " << t;
  EXPECT_EQ(firstCallEntries, 1);
}

// Eight threads write scopes with one shared first-call mark to a file and standard output:
// every line is whole, each thread's lines are all there with its own tag, and exactly one call
// was the first.
TEST_F(LogThreads, ConcurrentWritersLeaveWholeLines) {
  test::TempDir dir;
  ASSERT_TRUE(logInit(kLogTrace, dir.file("threads.log").c_str(), true));
  const std::string file = LogFileName(0);
  constexpr int kThreads = 8;
  constexpr int kCalls = 50;
  FirstCallMark outerMark{1};
  FirstCallMark innerMark{0};
  testing::internal::CaptureStdout();
  runTogether(kThreads, [&](int t) {
    SetLogDeviceTag("[t%d]", t);
    for (int call = 0; call < kCalls; ++call) {
      LogFunction scope(&outerMark, "GetPressure", "GetPressure %d", call);
      LogFunction inner(&innerMark, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
      inner.Detail("reply of %d bytes", 64);
    }
  });
  std::fflush(stdout);
  const std::string shown = testing::internal::GetCapturedStdout();
  logInit(kLogOff, nullptr, false);
  expectWholeLines(test::readTextFile(file), R"(\d{4}/\d\d/\d\d )", kThreads, kCalls);
  expectWholeLines(shown, "", kThreads, kCalls);
}

}  // namespace
}  // namespace qx5
