#include "qx5cmd/core/LibraryBinding.h"

#include <gtest/gtest.h>

#include <cstdlib>

#include "qx5cmd/fakelib/FakeLibrary.h"
#include "support/EnvironmentVariable.h"

namespace qx5cmd {
namespace {

using testing::FakeControl;
using testing::fakeLibraryPath;

TEST(LibraryBindingTest, BindsAllSharedExportsInOrder) {
  LibraryBinding library(fakeLibraryPath());
  ASSERT_TRUE(library.loaded()) << library.loadError();
  ASSERT_EQ(library.members().size(), 28u);
  EXPECT_STREQ(library.members().front().first, "GetErrorMessage");
  EXPECT_STREQ(library.members().back().first, "SetCustomDate");
  for (const auto& [name, wrapper] : library.members()) {
    EXPECT_NE(wrapper, nullptr) << name;
    if (wrapper) {
      EXPECT_EQ(wrapper->name(), name);
    }
  }
}

TEST(LibraryBindingTest, LibraryWithoutGetFanSpeedPercentLeavesOnlyThatMemberNull) {
  LibraryBinding library(fakeLibraryPath(true));
  ASSERT_TRUE(library.loaded()) << library.loadError();
  EXPECT_EQ(library.GetFanSpeedPercent, nullptr);
  for (const auto& [name, wrapper] : library.members()) {
    if (std::string(name) != "GetFanSpeedPercent") {
      EXPECT_NE(wrapper, nullptr) << name;
    }
  }
  EXPECT_EQ(bindFunction<QX5GetFloat>("GetFanSpeedPercent", library), nullptr);
  EXPECT_NE(bindFunction<QX5GetFloat>("GetFlow", library), nullptr);
}

TEST(LibraryBindingTest, MissingLibraryBindsNothingAndSaysWhy) {
  LibraryBinding library("/nonexistent/libqx5dll.so");
  EXPECT_FALSE(library.loaded());
  EXPECT_FALSE(library.loadError().empty());
  for (const auto& [name, wrapper] : library.members()) EXPECT_EQ(wrapper, nullptr) << name;
  EXPECT_EQ(bindFunction<QX5GetInt>("GetSerialNumber", library), nullptr);
  EXPECT_EQ(library.allocString("x", 2), nullptr);
  library.freeString(nullptr);
}

TEST(LibraryBindingTest, EnvironmentVariableNamesTheLibraryFile) {
  qx5::test::setEnvironment(kLibraryEnvironmentVariable, fakeLibraryPath(true));
  LibraryBinding library;
  qx5::test::clearEnvironment(kLibraryEnvironmentVariable);
  EXPECT_EQ(library.path(), fakeLibraryPath(true));
  EXPECT_TRUE(library.loaded());
  EXPECT_EQ(library.GetFanSpeedPercent, nullptr);
}

class WrapperTest : public testing::FakeSessionTest {};

TEST_F(WrapperTest, FailedIntGetterIsTimedAsFailureAndNotRecorded) {
  LibraryBinding& lib = library();
  StatsIntValues& value = stats().intValues("GetSerialNumber.Value");
  StatsTimes& ok = stats().times("GetSerialNumber");
  StatsTimes& failed = stats().times("failed GetSerialNumber");
  int values = value.count(), oks = ok.count(), failures = failed.count();

  EXPECT_EQ(lib.GetSerialNumber->call(), 12345);
  fake_.setSerial(-1);
  EXPECT_EQ(lib.GetSerialNumber->call(), -1);

  EXPECT_EQ(value.count(), values + 1);
  EXPECT_EQ(ok.count(), oks + 1);
  EXPECT_EQ(failed.count(), failures + 1);
  EXPECT_FALSE(ok.running());
  EXPECT_FALSE(failed.running());
}

TEST_F(WrapperTest, FloatGetterFailsOnlyOnExactlyMinusOne) {
  QX5GetFloat& fan = *library().GetFanSpeed;
  StatsValues& value = stats().values("GetFanSpeed.Value");
  StatsTimes& failed = stats().times("failed GetFanSpeed");
  int values = value.count(), failures = failed.count();
  fake_.setFanSpeed(-1.0f);
  EXPECT_EQ(fan.call(), -1.0f);
  fake_.setFanSpeed(-0.999f);
  EXPECT_EQ(fan.call(), -0.999f);
  EXPECT_EQ(failed.count(), failures + 1);
  EXPECT_EQ(value.count(), values + 1);
}

TEST_F(WrapperTest, EmptyOrNullTextCountsAsFailure) {
  QX5GetString& firmware = *library().GetQX5FirmwareVersion;
  StatsStringValues& last = stats().stringValues("GetQX5FirmwareVersion.LastValue");
  StatsTimes& failed = stats().times("failed GetQX5FirmwareVersion");
  int values = last.count(), failures = failed.count();
  EXPECT_EQ(firmware.call(), "1.23");
  EXPECT_EQ(last.last(), "1.23");
  fake_.setFirmware("");
  EXPECT_EQ(firmware.call(), "");
  fake_.setFirmware(nullptr);
  EXPECT_EQ(firmware.call(), "");
  EXPECT_EQ(last.count(), values + 1);
  EXPECT_EQ(failed.count(), failures + 2);
}

TEST_F(WrapperTest, TwoWrappersOfOneExportShareTheirStatistics) {
  auto own = bindFunction<QX5GetPressure>("GetPressure", library());
  ASSERT_NE(own, nullptr);
  StatsTimes& ok = stats().times("GetPressure");
  StatsValues& portB = stats().values("GetPressure.portB");
  int oks = ok.count(), values = portB.count();
  float a = 0, b = 0;
  EXPECT_TRUE(library().GetPressure->call(&a, &b));
  EXPECT_TRUE(own->call(&a, &b));
  EXPECT_EQ(a, 1.5f);
  EXPECT_EQ(b, 2.5f);
  EXPECT_EQ(ok.count(), oks + 2);
  EXPECT_EQ(portB.count(), values + 2);
}

TEST_F(WrapperTest, SettersPassTheirArgumentsInTheExportsShapes) {
  LibraryBinding& lib = library();
  EXPECT_TRUE(lib.SetFanSpeed->call(50.0f));
  EXPECT_TRUE(lib.SetSerialNumber->call(777));
  EXPECT_TRUE(lib.SetRange->call(44));
  EXPECT_TRUE(lib.SetCustomDate->call());
  EXPECT_TRUE(lib.LogInitToStdout->call(5));
  EXPECT_TRUE(lib.EraseMemory->call(65536, 2048));
  std::uint32_t length = 99;
  std::uint8_t out[48] = {};
  EXPECT_TRUE(lib.RunTest->call(5, 31, out, &length, out));
  EXPECT_EQ(length, 0u);
  auto company = bindFunction<QX5SetString>("SetCompanyName", lib);
  ASSERT_NE(company, nullptr);
  EXPECT_TRUE(company->call("Acme"));
  EXPECT_EQ(fake_.takeCalls(),
            "SetFanSpeed 50.000000\n"
            "SetSerialNumber 777\n"
            "SetRange 44\n"
            "SetCustomDate 2001 2 28\n"
            "LogInitToStdout 5 null 1\n"
            "EraseMemory 65536 2048\n"
            "RunTest 5\n"
            "SetCompanyName Acme 5\n");
}

TEST_F(WrapperTest, FailedSetterIsTimedAsFailure) {
  StatsTimes& failed = stats().times("failed SetRange");
  int failures = failed.count();
  fake_.setFailing(0);
  EXPECT_FALSE(library().SetRange->call(3));
  EXPECT_EQ(failed.count(), failures + 1);
  EXPECT_EQ(library().GetErrorMessage->call(), "gauge does not answer\n");
}

TEST_F(WrapperTest, WrapperWithoutExportNeverCalls) {
  QX5GetInt missing("NoSuchExport", library());
  EXPECT_FALSE(missing.bound());
  StatsTimes& failed = stats().times("failed NoSuchExport");
  EXPECT_EQ(missing.call(), -1);
  EXPECT_EQ(failed.count(), 0);
  QX5SetFloat missingSetter("NoSuchSetter", library());
  EXPECT_FALSE(missingSetter.call(1.0f));
}

}  // namespace
}  // namespace qx5cmd
