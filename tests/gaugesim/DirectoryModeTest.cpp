// QX5SIM=DIR: gauges from .gauge files, their keys, state kept beside them, hot plug.
#include <sstream>

#include "SimHarness.h"
#include "support/EnvironmentVariable.h"

namespace qx5::sim::testing {
namespace {

std::int32_t serialOf(OpenGauge& gauge) { return int32At(gauge.ok(command(30)), 8); }

TEST(GaugeFile, KeysAreReadAndProblemsNamedByFileAndLine) {
  std::istringstream text(
      "# bench gauge\n"
      "serial = 4711\n"
      "firmware = 2.15 beta\n"
      "speed = sideways\n"
      "colour = blue\n"
      "just some words\n"
      "usb_cpu = 2.7\n"
      "eeprom_version = 16\n"
      "fault = short, unplug-after=5\n"
      "path_case = upper\n"
      "chipset = 9\n");
  std::ostringstream messages;
  const GaugeConfig config = parseGaugeConfig(text, "a.gauge", GaugeConfig{}, messages);
  EXPECT_EQ(config.serial, 4711);
  EXPECT_EQ(config.firmware, "2.15 beta");
  EXPECT_EQ(config.speed, UsbSpeed::Full) << "unreadable value keeps the default";
  EXPECT_EQ(config.usbCpuMajor, 2);
  EXPECT_EQ(config.usbCpuMinor, 7);
  EXPECT_EQ(config.eepromVersion, 16);
  EXPECT_TRUE(config.faults.shortReplies);
  EXPECT_EQ(config.faults.unplugAfter, 5);
  EXPECT_TRUE(config.upperCasePath);
  EXPECT_EQ(config.chipset, 9u);
  const std::string out = messages.str();
  EXPECT_NE(out.find("a.gauge:4: speed must be low, full or high"), std::string::npos) << out;
  EXPECT_NE(out.find("a.gauge:5: unknown key 'colour'"), std::string::npos) << out;
  EXPECT_NE(out.find("a.gauge:6: expected 'key = value'"), std::string::npos) << out;
  EXPECT_EQ(std::count(out.begin(), out.end(), '\n'), 3);
}

TEST(GaugeFile, FaultListRejectsUnknownNames) {
  Faults faults;
  std::string error;
  EXPECT_FALSE(parseFaults("silent, wobble", faults, error));
  EXPECT_EQ(error, "unknown fault 'wobble'");
  EXPECT_FALSE(parseFaults("unplug-after=x", faults, error));
}

TEST(DirectoryMode, FilesAreGaugesInNameOrderWithTheirKeys) {
  GaugeDirectory dir;
  dir.write("b", "serial = 222\nspeed = high\n");
  dir.write("a", "serial = 111\npath_case = upper\nfirmware = 9.9\n");
  std::ostringstream messages;
  SimulatedUsbPlatform platform(dir.environment(messages));
  const auto paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_NE(paths[0].find("VID_04D8&PID_000C#a#"), std::string::npos) << paths[0];
  EXPECT_NE(paths[1].find("vid_04d8&pid_000c#b#"), std::string::npos) << paths[1];
  OpenGauge a(platform, paths[0]);
  OpenGauge b(platform, paths[1]);
  EXPECT_EQ(serialOf(a), 111);
  EXPECT_EQ(textOf(a.ok(command(45))), "9.9");
  EXPECT_EQ(serialOf(b), 222);
  UsbSpeed speed{};
  ASSERT_TRUE(platform.queryDeviceSpeed(b.iface(), speed));
  EXPECT_EQ(speed, UsbSpeed::High);
  EXPECT_EQ(messages.str(), "");
}

TEST(DirectoryMode, BrokenFileStillGivesAGaugeWithDefaults) {
  GaugeDirectory dir;
  dir.write("odd", "serial = many\neeprom_version = 18\n");
  std::ostringstream messages;
  SimulatedUsbPlatform platform(dir.environment(messages));
  const auto paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 1u);
  OpenGauge gauge(platform, paths[0]);
  EXPECT_EQ(serialOf(gauge), Environment::kFirstSerial);
  EXPECT_NE(messages.str().find("odd.gauge:1:"), std::string::npos) << messages.str();
  EXPECT_NE(messages.str().find("odd.gauge:2:"), std::string::npos) << messages.str();
}

// Two platform instances one after the other on the same directory stand in for two
// processes: nothing but the files passes between them.
TEST(DirectoryMode, StateOutlivesThePlatformThatChangedIt) {
  GaugeDirectory dir;
  dir.write("g", "serial = 500\n");
  std::ostringstream messages;
  {
    SimulatedUsbPlatform first(dir.environment(messages));
    OpenGauge gauge(first, enumerate(first).at(0));
    gauge.ok(command(29, {{8, 0x39}, {9, 0x30}}));  // 12345, not yet saved to EEPROM
    Bytes company = command(57, {{8, 4}});
    std::memcpy(company.data() + 9, "Keep", 4);
    gauge.ok(company);
    gauge.ok(memoryRequest(73, 0xF003F0, {0x12, 0x34}, 2));
    gauge.ok(bootRequest(0));
  }
  SimulatedUsbPlatform second(dir.environment(messages));
  OpenGauge gauge(second, enumerate(second).at(0));
  EXPECT_NE(textOf(gauge.ok(command(45))).find("BOOT"), std::string::npos);
  const Bytes eeprom = gauge.ok(readRequest(0xF003F0, 2));
  EXPECT_EQ(eeprom[8], 0x12);
  EXPECT_EQ(eeprom[9], 0x34);
  gauge.ok(bootRequest(1));  // the application reloads settings from the (now broken) EEPROM
  gauge.ok(bootRequest(0));
  EXPECT_EQ(messages.str(), "");
}

TEST(DirectoryMode, UnsavedSettingsPersistAcrossPlatforms) {
  GaugeDirectory dir;
  dir.write("g", "");
  std::ostringstream messages;
  {
    SimulatedUsbPlatform first(dir.environment(messages));
    OpenGauge gauge(first, enumerate(first).at(0));
    gauge.ok(command(29, {{8, 0x39}, {9, 0x30}}));
    gauge.ok(command(65, {{8, 6}}));
  }
  SimulatedUsbPlatform second(dir.environment(messages));
  OpenGauge gauge(second, enumerate(second).at(0));
  EXPECT_EQ(serialOf(gauge), 12345);
  EXPECT_EQ(gauge.ok(command(64))[8], 6);
}

TEST(DirectoryMode, CreatingAndDeletingFilesPlugsAndUnplugsGauges) {
  ShortTimeouts ceiling;
  GaugeDirectory dir;
  std::ostringstream messages;
  SimulatedUsbPlatform platform(dir.environment(messages));
  EXPECT_TRUE(enumerate(platform).empty());
  dir.write("one", "serial = 1001\n");
  auto paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 1u);
  OpenGauge one(platform, paths[0]);
  one.ok(command(65, {{8, 13}}));
  dir.write("two", "serial = 1002\n");
  EXPECT_EQ(enumerate(platform).size(), 2u);

  dir.remove("one");
  paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 1u);
  EXPECT_NE(paths[0].find("#two#"), std::string::npos);
  EXPECT_FALSE(one.write(command(30)));
  EXPECT_EQ(platform.lastError(), platform::kErrorNoDevice);
  EXPECT_TRUE(std::filesystem::exists(dir.path() / "one.state"));

  dir.write("one", "serial = 1001\n");
  paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 2u);
  EXPECT_FALSE(one.write(command(30))) << "handles from before the unplug stay dead";
  OpenGauge again(platform, paths[0]);
  EXPECT_EQ(again.ok(command(64))[8], 13) << "the gauge kept its settings";
}

// Plugged in again, a gauge left in its bootloader starts its application, unless its flash
// was changed there: a download cut off part way must be finished from the bootloader.
TEST(DirectoryMode, PluggingInAgainLeavesTheBootloaderOnlyWithFlashUnchanged) {
  ShortTimeouts ceiling;
  GaugeDirectory dir;
  std::ostringstream messages;
  SimulatedUsbPlatform platform(dir.environment(messages));
  auto replug = [&](const std::string& name) {
    dir.remove(name);
    enumerate(platform);
    dir.write(name, "");
    return enumerate(platform);
  };
  auto inBootloader = [&](const std::string& path) {
    OpenGauge gauge(platform, path);
    return textOf(gauge.ok(command(45))).find("BOOT") != std::string::npos;
  };
  dir.write("a", "");
  dir.write("b", "");
  auto paths = enumerate(platform);
  ASSERT_EQ(paths.size(), 2u);
  OpenGauge(platform, paths[0]).ok(bootRequest(0));
  {
    OpenGauge b(platform, paths[1]);
    b.ok(bootRequest(0));
    EXPECT_EQ(b.ok(eraseRequest(0x1E000, 64))[8], 1);
  }
  paths = replug("a");
  EXPECT_FALSE(inBootloader(paths[0]));
  paths = replug("b");
  EXPECT_TRUE(inBootloader(paths[1]));
  // The same rule holds for the state a later process finds.
  SimulatedUsbPlatform later(dir.environment(messages));
  paths = enumerate(later);
  OpenGauge b(later, paths[1]);
  EXPECT_NE(textOf(b.ok(command(45))).find("BOOT"), std::string::npos);
  b.ok(bootRequest(1));
  EXPECT_EQ(textOf(b.ok(command(45))).find("BOOT"), std::string::npos);
}

TEST(DirectoryMode, EditedFileChangesConnectionKeysAtTheNextEnumeration) {
  ShortTimeouts ceiling;
  GaugeDirectory dir;
  dir.write("g", "fault = silent\n");
  std::ostringstream messages;
  SimulatedUsbPlatform platform(dir.environment(messages));
  OpenGauge silent(platform, enumerate(platform).at(0));
  EXPECT_TRUE(silent.exchange(command(30)).empty());
  dir.write("g", "# healed\nspeed = low\n");
  OpenGauge healed(platform, enumerate(platform).at(0));
  EXPECT_EQ(healed.ok(command(30))[7], 30);
}

}  // namespace
}  // namespace qx5::sim::testing

namespace qx5::sim::testing {
namespace {

constexpr const char* kChildDirectory = "QX5SIM_TEST_CHILD_DIR";

// Runs inside the second process started below; skipped when run on its own.
TEST(DirectoryModeChild, SeesAndChangesTheFirstProcessState) {
  const char* directory = std::getenv(kChildDirectory);
  if (!directory) GTEST_SKIP() << "only run as the second process";
  std::ostringstream messages;
  SimulatedUsbPlatform platform(std::make_unique<Environment>(directory, messages));
  OpenGauge gauge(platform, enumerate(platform).at(0));
  EXPECT_EQ(serialOf(gauge), 24680);
  gauge.ok(command(65, {{8, 21}}));
}

TEST(DirectoryMode, SecondProcessFindsTheStateAndLeavesItsOwn) {
  GaugeDirectory dir;
  dir.write("g", "");
  std::ostringstream messages;
  {
    SimulatedUsbPlatform first(dir.environment(messages));
    OpenGauge gauge(first, enumerate(first).at(0));
    gauge.ok(command(29, {{8, 0x68}, {9, 0x60}}));  // 24680
  }
  // This test program again, through the system's shell (double quotes read alike in both).
  const std::string self = ::testing::internal::GetArgvs().at(0);
  const std::string output = (dir.path() / "child.out").string();
  std::string run =
      "\"" + self + "\" --gtest_filter=DirectoryModeChild.* --gtest_brief=1 >\"" + output + "\"";
#if defined(_WIN32)
  run = "\"" + run + "\"";  // cmd /c drops the outer pair of quotes
#endif
  qx5::test::setEnvironment(kChildDirectory, dir.path().string());
  const int status = std::system(run.c_str());
  qx5::test::clearEnvironment(kChildDirectory);
  ASSERT_EQ(status, 0) << run;
  SimulatedUsbPlatform third(dir.environment(messages));
  OpenGauge gauge(third, enumerate(third).at(0));
  EXPECT_EQ(gauge.ok(command(64))[8], 21);
}

}  // namespace
}  // namespace qx5::sim::testing
