#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/platform/Errors.h"
#include "support/LogCapture.h"

using testing::ElementsAre;
using testing::StartsWith;

namespace qx5 {
namespace {

class LogErrorTextTest : public testing::Test {
 protected:
  void TearDown() override { logInit(kLogOff, nullptr, false); }
  FirstCallMark outerMark_{0};
  FirstCallMark innerMark_{0};
};

TEST_F(LogErrorTextTest, ErrorsFillTheTextWithLoggingOff) {
  logInit(kLogOff, nullptr, false);
  SetLogDeviceTag("[%d,%d]", 0, 1234);
  LogFunction scope(&outerMark_, "SetRange", "SetRange");
  LogFunction inner(&innerMark_, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
  inner.Error("packet mismatch sent command %d", 24);
  inner.ErrorWithCode(0, "no code");
  EXPECT_EQ(ErrorText(),
            "[0,1234] SetRange packet mismatch sent command 24\n"
            "[0,1234] SetRange no code\n");
}

TEST_F(LogErrorTextTest, CodeAddsThePlatformTextToTheErrorTextAndTheLog) {
  const int code = platform::kErrorTimeout;
  const std::string text = platform::errorText(code);
  ASSERT_FALSE(text.empty());
  std::string errorText;
  const auto lines = test::logLinesAt(kLogError, [&] {
    LogFunction scope(&outerMark_, "GetPressure", "GetPressure");
    LogFunction inner(&innerMark_, "DEVICE_DATA::SendReceivePacket", "SendReceivePacket");
    inner.ErrorWithCode(code, "%serror reading data", "");
    errorText = ErrorText();
  });
  const std::string codeText = std::to_string(code);
  EXPECT_THAT(lines, ElementsAre("ERROR      GetPressure  SendReceivePacket error reading data",
                                 "ERROR      GetPressure  SendReceivePacket - GetLastError=" +
                                     codeText + " msg=\"" + text + "\""));
  EXPECT_EQ(errorText,
            " GetPressure error reading data\nError=" + codeText + " \"" + text + "\"\n");
}

TEST_F(LogErrorTextTest, OutermostCallEmptiesTheTextAndTakeEmptiesIt) {
  logInit(kLogOff, nullptr, false);
  {
    LogFunction scope(&outerMark_, "GetSerialNumber", "GetSerialNumber");
    scope.Error("first");
  }
  {
    LogFunction scope(&outerMark_, "GetSerialNumber", "GetSerialNumber");
    scope.Error("second");
    {
      LogFunction nested(&innerMark_, "mchpusb::SendReceivePacket", "SendReceivePacket");
      EXPECT_EQ(ErrorText(), " GetSerialNumber second\n") << "nested scopes keep the text";
    }
  }
  EXPECT_EQ(TakeErrorText(), " GetSerialNumber second\n");
  EXPECT_EQ(ErrorText(), "");
}

TEST_F(LogErrorTextTest, TextStopsAt2047Characters) {
  logInit(kLogOff, nullptr, false);
  LogFunction scope(&outerMark_, "ReadMemory", "ReadMemory");
  const std::string chunk(100, 'x');
  for (int i = 0; i < 30; ++i) scope.Error("%s", chunk.c_str());
  const std::string text = ErrorText();
  EXPECT_EQ(text.size(), kErrorTextCapacity - 1);
  EXPECT_THAT(text, StartsWith(" ReadMemory xxx"));
  scope.ErrorWithCode(platform::kErrorIo, "more");
  EXPECT_EQ(ErrorText(), text) << "a full text takes nothing more";
}

}  // namespace
}  // namespace qx5
