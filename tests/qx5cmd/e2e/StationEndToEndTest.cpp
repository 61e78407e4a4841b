// The upgrade station run as a program: gauges are plugged in (their .gauge files created) one
// after another while it runs, unplugged, and the station is ended with Ctrl+C.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <functional>
#include <regex>
#include <thread>

#include "qx5cmd/e2e/EndToEnd.h"
#include "qx5cmd/e2e/FirmwareFixtures.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using namespace e2e;
using qx5::test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;
using ::testing::StartsWith;

using Clock = std::chrono::steady_clock;

// Release `version`: 256 bytes of code and the version record the gauge reports.
std::string releaseFile(const std::string& version) {
  return HexText()
      .block(0, Bytes(256, 0xA5))
      .block(kVersionRecordAddress, versionRecord(version))
      .text();
}

struct Station {
  Station() {
    fs::create_directory(gauges());
    fs::create_directory(work());
    writeFile(work() / "fw.2.hex", releaseFile("3.21"));
  }
  fs::path gauges() const { return dir.path() / "gauges"; }
  fs::path work() const { return dir.path() / "work"; }
  void plug(const std::string& name, const std::string& keys) const {
    writeFile(gauges() / (name + ".gauge"), keys);
  }
  void unplug(const std::string& name) const { fs::remove(gauges() / (name + ".gauge")); }
  std::optional<GaugeMemory> memory(const std::string& name) const {
    return readState(gauges() / (name + ".state"));
  }
  bool runsRelease(const std::string& name) const {
    const auto m = memory(name);
    return m && m->runs("3.21");
  }
  bool inBootloader(const std::string& name) const {
    const auto m = memory(name);
    return m && m->bootloader;
  }
  static bool waitFor(const std::function<bool()>& condition, int seconds = 40) {
    const auto deadline = Clock::now() + std::chrono::seconds(seconds);
    while (!condition()) {
      if (Clock::now() > deadline) return false;
      std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    return true;
  }
  // qx5cmd with `args` in the working folder while `script` plugs and unplugs gauges; Ctrl+C
  // once standard output shows `breakAfter`. The station's waits are on a virtual clock unless
  // `env` says otherwise: it then polls for gauges without pause, and sees every plug and unplug
  // however busy the machine is.
  ProcessResult run(std::vector<std::string> args, const std::function<void()>& script,
                    const std::string& breakAfter,
                    std::map<std::string, std::string> env = {}) const {
    testing::ProcessOptions options;
    options.environment = std::move(env);
    options.environment["QX5SIM"] = gauges().string();
    options.environment["QX5CMD_LIBRARY"] = qx5::test::privateLibrary();
    options.environment["USERNAME"] = "";
    options.environment.emplace("QX5_VIRTUAL_CLOCK", freshVirtualClock());
    options.signal = SIGINT;
    options.signalAfterMs = 200;
    options.signalAfterOutput = breakAfter;
    options.workingDirectory = work().string();
    options.timeoutMs = 100000;
    std::thread driver(script);
    ProcessResult r = testing::runProcess(kQx5cmd, args, options);
    driver.join();
    return r;
  }
  TempDir dir;
};

int count(const std::string& text, const std::string& what) {
  int n = 0;
  for (std::size_t at = 0; (at = text.find(what, at)) != std::string::npos; at += what.size()) ++n;
  return n;
}

#define REQUIRE_STATION_EXPORTS()                                                       \
  REQUIRE_GAUGE_LOOP_EXPORTS("UploadMemory", "DownloadMemory", "EraseMemory", "DoBoot", \
                             "GetQX5FirmwareVersion", "GetChipset", "RunTest")

TEST(Qx5cmdStation, UpgradesEachGaugeOnceAndGoesOnPastTheOnesItCannot) {
  REQUIRE_STATION_EXPORTS();
  Station station;
  // A gauge left in its bootloader with changed flash, unplugged before the station starts.
  station.plug("f", "serial = 2006\n");
  ASSERT_EQ(
      qx5cmdIn(station.work(), {"-d=0", "bootloader"}, {{"QX5SIM", station.gauges().string()}})
          .exitStatus,
      0);
  station.unplug("f");

  bool scripted = false;
  ProcessResult r = station.run(
      {"-d=200", "-s", "firmware_upgrade_station", "fw", "3.21", "17"},
      [&] {
        station.plug("a", "serial = 2001\n");
        if (!Station::waitFor([&] { return station.runsRelease("a"); })) return;
        station.plug("b", "serial = 2002\n");
        if (!Station::waitFor([&] { return station.runsRelease("b"); })) return;
        station.plug("c", "serial = 2003\nfirmware = 3.21\n");  // already runs the release
        station.plug("e", "serial = 2005\nfault = refuse-write\n");
        if (!Station::waitFor([&] { return station.inBootloader("e"); })) return;
        station.plug("f", "serial = 2006\n");
        station.plug("g", "serial = 2007\nfault = refuse-erase\n");
        if (!Station::waitFor([&] { return fs::exists(station.gauges() / "g.state"); })) return;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        station.unplug("g");  // plugged in again, sound
        std::this_thread::sleep_for(std::chrono::milliseconds(600));
        station.plug("g", "serial = 2007\n");
        if (!Station::waitFor([&] { return station.runsRelease("g"); })) return;
        std::this_thread::sleep_for(std::chrono::seconds(1));
        station.unplug("a");
        scripted = true;
      },
      "gauge   2001 removed");
  ASSERT_TRUE(scripted) << r.out;
  EXPECT_EQ(r.exitStatus, 0);

  EXPECT_THAT(r.out, HasSubstr("waiting for gauges\n"));
  for (const char* found : {"found gauge   2001", "found gauge   2002", "found gauge   2003",
                            "found gauge   2005", "found gauge 5555555", "found gauge   2007"})
    EXPECT_THAT(r.out, HasSubstr(found));
  EXPECT_EQ(count(r.out, "has been upgraded to firmware"), 1) << r.out;
  EXPECT_THAT(r.out, HasSubstr("gauge 2003 has been upgraded to firmware 3.21\n"));
  EXPECT_THAT(r.out, HasSubstr("upgrade failed for gauge   2005\n"));
  EXPECT_THAT(r.out, HasSubstr("skipping gauge that is in the bootloader,... please use "
                               "upgrade_firmware.bat or call Quill to modify this program\n"));
  EXPECT_EQ(count(r.out, "upgrade failed for gauge   2007\n"), 1);
  EXPECT_EQ(count(r.out, "found gauge   2007"), 2);  // tried again after it was plugged in again
  EXPECT_THAT(r.out, HasSubstr("gauge   2001 removed    \n"));
  for (const char* summary : {"* gauge   2002 firmware: 3.21\n", "* gauge   2003 firmware: 3.21\n",
                              "* gauge   2007 firmware: 3.21\n"})
    EXPECT_THAT(r.out, HasSubstr(summary));
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
  EXPECT_THAT(r.out, ::testing::ContainsRegex("\nupdateFirmware +num \\(3\\)"));
  EXPECT_TRUE(station.runsRelease("b"));
  EXPECT_TRUE(station.runsRelease("g"));

  // The day's record: a line per gauge handed to the station, the one in its bootloader not.
  std::string record;
  for (const auto& file : fs::directory_iterator(station.work())) {
    if (file.path().filename().string().starts_with("station_")) record += readFile(file.path());
  }
  EXPECT_THAT(record, StartsWith("time,serial,firmware_before,firmware_after,eeprom_layout,"
                                 "result,seconds,failure\n"));
  EXPECT_EQ(count(record, "\n"), 1 + 6) << record;
  for (const char* line :
       {",2001,\"3.05\",\"3.21\",17,\"upgraded\",",
        ",2003,\"3.21\",\"3.21\",17,\"already current\",0.", ",2005,\"3.05\",\"\",17,\"failed\",",
        ",2007,\"3.05\",\"\",17,\"failed\","})
    EXPECT_THAT(record, HasSubstr(line));
  EXPECT_EQ(count(record, "\"erasing or writing the flash failed\"\n"), 2) << record;
}

TEST(Qx5cmdStation, AGaugeRunningTheReleaseIsLeftAloneUnlessItsSettingsAreToBeSaved) {
  REQUIRE_STATION_EXPORTS();
  Station station;
  station.plug("a", "serial = 3001\nfirmware = 3.21\neeprom_version = 16\n");
  ASSERT_EQ(
      qx5cmdIn(station.work(), {"-d=0", "SetRange", "0"}, {{"QX5SIM", station.gauges().string()}})
          .exitStatus,
      0);
  const auto before = station.memory("a");
  ASSERT_TRUE(before);
  ProcessResult r = station.run(
      {"-d=100", "firmware_upgrade_station", "fw", "3.21", "17"}, [] {},
      "* waiting for new gauges...");
  EXPECT_THAT(r.out, HasSubstr("gauge 3001 has been upgraded to firmware 3.21\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("uploading")));
  EXPECT_EQ(station.memory("a"), before);

  // The save-settings variant converts the settings and makes them the factory defaults.
  const fs::path trace = station.dir.path() / "trace";
  r = station.run({"-d=100", "firmware_upgrade_and_save_settings_station", "fw", "3.21", "17"},
                  [] {}, "* waiting for new gauges...", {{"QX5SIM_TRACE", trace.string()}});
  EXPECT_THAT(r.out, HasSubstr("gauge 3001 has been upgraded to firmware 3.21\n"));
  EXPECT_THAT(r.out, HasSubstr("copying eeprom to factory defaults\n"));
  const auto after = station.memory("a");
  ASSERT_TRUE(after);
  EXPECT_EQ(after->eeprom[0], 17);
  EXPECT_EQ(after->defaults(), after->liveImage());
  // "Settings" and "Saved" went to the display's two lines (test 5, line byte, text).
  const std::string wire = readFile(trace);
  EXPECT_THAT(wire, HasSubstr(" 05 1f 01 53 65 74 74 69 6e 67 73 00"));
  EXPECT_THAT(wire, HasSubstr(" 05 1f 02 53 61 76 65 64 00"));
}

TEST(Qx5cmdStation, AReleaseFileWithErrorsIsNeverWrittenAndTheStationGoesOn) {
  REQUIRE_STATION_EXPORTS();
  Station station;
  std::string damaged = releaseFile("3.21");
  damaged.erase(damaged.rfind(':'));  // no end-of-file record
  writeFile(station.work() / "fw.2.hex", damaged);
  station.plug("a", "serial = 5001\n");
  ASSERT_EQ(
      qx5cmdIn(station.work(), {"-d=0", "SetRange", "0"}, {{"QX5SIM", station.gauges().string()}})
          .exitStatus,
      0);
  const auto before = station.memory("a");
  ProcessResult r = station.run(
      {"-d=100", "firmware_upgrade_station", "fw", "3.21", "17"}, [] {},
      "* waiting for new gauges...");
  EXPECT_THAT(r.out, HasSubstr("error reading fw.2.hex\n"));
  EXPECT_THAT(r.out, HasSubstr("upgrade failed for gauge   5001\n"));
  EXPECT_THAT(r.out, HasSubstr("* gauge   5001 firmware: 3.05\n"));
  EXPECT_EQ(station.memory("a"), before);
}

TEST(Qx5cmdStation, ABreakDuringAnUpgradeLeavesTheGaugeForTheNextRun) {
  REQUIRE_STATION_EXPORTS();
  Station station;
  station.plug("a", "serial = 4001\n");
  // Slow transfers in real time, so the break lands while the settings are being read.
  ProcessResult r =
      station.run({"-d=100", "-s", "firmware_upgrade_station", "fw", "3.21", "17"}, [] {},
                  "uploading eeprom\n", {{"QX5SIM_LATENCY_MS", "10"}, {"QX5_VIRTUAL_CLOCK", ""}});
  EXPECT_THAT(r.out, HasSubstr("<.. break ..>\n"));
  EXPECT_THAT(r.out, HasSubstr("\n--- Stats ---\n"));
  EXPECT_THAT(r.out, Not(HasSubstr("\nupdateFirmware")));
  EXPECT_FALSE(fs::exists(station.work() / "eeprom.4001.hex"));  // the read was cut short

  r = station.run(
      {"-d=100", "firmware_upgrade_station", "fw", "3.21", "17"}, [] {},
      "* gauge   4001 firmware: 3.21");
  EXPECT_THAT(r.out, HasSubstr("New firmware:            3.21\n"));
  EXPECT_TRUE(station.runsRelease("a"));
}

}  // namespace
}  // namespace qx5cmd
