#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

#include "qx5_dll/diagnostics/Log.h"
#include "support/LogCapture.h"

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;
using testing::Not;

namespace qx5 {
namespace {

using test::logLinesAt;

struct Marks {
  FirstCallMark outer{1};
  FirstCallMark inner{1};
};

// An export that sends one packet: the shape every traced call has.
void exportCall(Marks& marks) {
  LogFunction scope(&marks.outer, "SetRange", "SetRange %d", 3);
  LogFunction inner(&marks.inner, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  inner.Detail("Sending command %d (0x%02x)", 24, 24);
}

class LogScopeTest : public testing::Test {
 protected:
  void TearDown() override { logInit(kLogOff, nullptr, false); }
};

TEST_F(LogScopeTest, LevelFourTracesNoCall) {
  Marks marks;
  EXPECT_THAT(logLinesAt(kLogInfo, [&] { exportCall(marks); }), IsEmpty());
  EXPECT_EQ(marks.outer.load(), 0) << "the first call is used up even when nothing is written";
}

TEST_F(LogScopeTest, LevelFiveTracesTheFirstCallInFullAndLaterCallsNot) {
  Marks marks;
  const auto lines = logLinesAt(kLogFirst, [&] {
    exportCall(marks);
    exportCall(marks);
  });
  EXPECT_THAT(lines, ElementsAre("FIRST     >SetRange 3",                   //
                                 "FIRST      SetRange->SendReceivePacket",  //
                                 "FIRST      SetRange  SendReceivePacket Sending command 24 (0x18)",
                                 "FIRST      SetRange<-SendReceivePacket",  //
                                 "FIRST     <SetRange"));
}

TEST_F(LogScopeTest, LevelEightAddsDetailLinesOfLaterCalls) {
  Marks marks;
  exportCall(marks);  // first call while logging is off
  const auto lines = logLinesAt(kLogDebug, [&] { exportCall(marks); });
  EXPECT_THAT(lines,
              ElementsAre("DEBUG      SetRange  SendReceivePacket Sending command 24 (0x18)"));
}

TEST_F(LogScopeTest, LevelNineTracesEveryEntryAndExit) {
  Marks marks;
  exportCall(marks);
  const auto lines = logLinesAt(kLogTrace, [&] { exportCall(marks); });
  EXPECT_THAT(lines, ElementsAre("TRACE     >SetRange 3",                   //
                                 "TRACE      SetRange->SendReceivePacket",  //
                                 "DEBUG      SetRange  SendReceivePacket Sending command 24 (0x18)",
                                 "TRACE      SetRange<-SendReceivePacket",  //
                                 "TRACE     <SetRange"));
}

TEST_F(LogScopeTest, NestedFirstCallInsideALaterCallFollowsTheOutermostCall) {
  Marks marks;
  marks.outer = 0;  // the export has run before, its transport step has not
  EXPECT_THAT(logLinesAt(kLogFirst, [&] { exportCall(marks); }), IsEmpty());
  EXPECT_EQ(marks.inner.load(), 0);
}

TEST_F(LogScopeTest, ScopeLevelTestOpensUpToFiveDuringAFirstCall) {
  logInit(kLogFirst, nullptr, false);
  Marks marks;
  {
    LogFunction first(&marks.outer, "GetPressure", "GetPressure");
    EXPECT_TRUE(first.IsEnabled(kLogDebug));
  }
  {
    LogFunction later(&marks.outer, "GetPressure", "GetPressure");
    EXPECT_FALSE(later.IsEnabled(kLogDebug));
    EXPECT_TRUE(later.IsEnabled(kLogFirst));
    EXPECT_TRUE(later.IsEnabled(kLogError));
  }
}

TEST_F(LogScopeTest, PlainLevelTest) {
  logInit(kLogOff, nullptr, false);
  EXPECT_TRUE(IsLogLevelEnabled(kLogCritical));
  EXPECT_TRUE(IsLogLevelEnabled(kLogError));
  EXPECT_FALSE(IsLogLevelEnabled(kLogWarning));
  EXPECT_FALSE(IsLogLevelEnabled(11)) << "out of range counts as 1, which needs logging on";
  logInit(kLogInfo, nullptr, false);
  EXPECT_TRUE(IsLogLevelEnabled(kLogInfo));
  EXPECT_FALSE(IsLogLevelEnabled(kLogFirst));
  EXPECT_TRUE(IsLogLevelEnabled(11));
}

TEST_F(LogScopeTest, PlainLinesClampTheirLevelAndStopEndsLogging) {
  const auto lines = logLinesAt(kLogWarning, [] {
    LogPrint(0, "clamped %d", 0);
    LogPrint(kLogInfo, "too detailed");
    LogPrint(kLogWarning, "warned");
    logStop();
    LogPrint(kLogCritical, "after stop");
  });
  EXPECT_THAT(lines, ElementsAre("CRITICAL  clamped 0", "WARNING   warned"))
      << "Logfile closed. is a level 4 line";
  EXPECT_EQ(logLevel(), kLogOff);
}

TEST_F(LogScopeTest, LogStopLineAtLevelFour) {
  const auto lines = logLinesAt(kLogInfo, [] { logStop(); });
  EXPECT_THAT(lines, ElementsAre("INFO      Logfile closed."));
}

TEST_F(LogScopeTest, DeviceTagPrecedesEveryMessage) {
  Marks marks;
  marks.outer = marks.inner = 0;
  const auto lines = logLinesAt(kLogDebug, [&] {
    SetLogDeviceTag("[%d,%d]", 0, 1234);
    exportCall(marks);
    LogPrint(kLogInfo, "plain");
  });
  EXPECT_THAT(
      lines, ElementsAre("DEBUG     [0,1234] SetRange  SendReceivePacket Sending command 24 (0x18)",
                         "INFO      [0,1234]plain"));
}

TEST_F(LogScopeTest, TagAndMessagesAreNeverTakenAsFormats) {
  Marks marks;
  const auto lines = logLinesAt(kLogDebug, [&] {
    SetLogDeviceTag("%s", "%s%n%%");
    LogFunction scope(&marks.outer, "Odd%sName", "%s", "entry %n");
    scope.Info("%s", "text %s");
  });
  EXPECT_THAT(lines, ElementsAre("FIRST     %s%n%%>entry %n", "INFO      %s%n%% Odd%sName text %s",
                                 "FIRST     %s%n%%<Odd%sName"));
}

TEST_F(LogScopeTest, InfoLinesNeedLevelFour) {
  Marks marks;
  const auto quiet = logLinesAt(kLogWarning, [&] {
    LogFunction scope(&marks.outer, "mchpusb::UpdateDeviceList", "UpdateDeviceList");
    scope.Info("found %d", 2);
  });
  EXPECT_THAT(quiet, IsEmpty());
  const auto shown = logLinesAt(kLogInfo, [&] {
    LogFunction scope(&marks.outer, "mchpusb::UpdateDeviceList", "UpdateDeviceList");
    scope.Info("found %d", 2);
  });
  EXPECT_THAT(shown, ElementsAre("INFO       UpdateDeviceList found 2"));
}

// A call on another thread is a call of its own: its own chain, its own first-call state.
TEST_F(LogScopeTest, AnotherThreadsCallHasItsOwnChain) {
  Marks marks;
  exportCall(marks);  // later calls: the chains show only at 9
  FirstCallMark otherMark{0};
  const auto lines = logLinesAt(kLogTrace, [&] {
    LogFunction outer(&marks.outer, "SetRange", "SetRange %d", 1);
    std::thread([&] {
      LogFunction scope(&otherMark, "GetPressure", "GetPressure");
      scope.Detail("reading");
    }).join();
    LogFunction inner(&marks.inner, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  });
  EXPECT_THAT(lines, ElementsAre("TRACE     >SetRange 1",                   //
                                 "TRACE     >GetPressure",                  //
                                 "DEBUG      GetPressure reading",          //
                                 "TRACE     <GetPressure",                  //
                                 "TRACE      SetRange->SendReceivePacket",  //
                                 "TRACE      SetRange<-SendReceivePacket",  //
                                 "TRACE     <SetRange"));
}

TEST_F(LogScopeTest, AFirstCallOpensLevelFiveOnlyOnItsOwnThread) {
  Marks marks;
  FirstCallMark otherMark{0};
  bool otherSeesDebug = true;
  const auto lines = logLinesAt(kLogFirst, [&] {
    LogFunction outer(&marks.outer, "SetRange", "SetRange %d", 1);
    std::thread([&] {
      LogFunction scope(&otherMark, "GetPressure", "GetPressure");
      scope.Detail("reading");
      otherSeesDebug = scope.IsEnabled(kLogDebug);
    }).join();
  });
  EXPECT_THAT(lines, ElementsAre("FIRST     >SetRange 1", "FIRST     <SetRange"));
  EXPECT_FALSE(otherSeesDebug);
}

}  // namespace
}  // namespace qx5
