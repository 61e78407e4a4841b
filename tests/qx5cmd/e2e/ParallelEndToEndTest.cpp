// qx5cmd -j: several simulated gauges run at once, each through a handle of its own, against the
// same gauges one after another.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "qx5cmd/core/Text.h"
#include "qx5cmd/e2e/EndToEnd.h"
#include "qx5cmd/e2e/FirmwareFixtures.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using namespace e2e;
using qx5::test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

#define REQUIRE_HANDLE_EXPORTS(...) \
  REQUIRE_GAUGE_LOOP_EXPORTS("QX5GaugeOpen", "QX5GaugeClose", ##__VA_ARGS__)

// The lines of the text, without the terminal bell the station rings between them.
std::vector<std::string> linesOf(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    std::erase(line, '\a');
    lines.push_back(line);
  }
  return lines;
}

// The lines before the statistics, by the gauge tag they start with ("" for untagged ones).
std::map<std::string, std::vector<std::string>> linesByGauge(const std::string& out) {
  static const std::regex tag(R"(^(?:\d+ )?(\[\d+\]) .*)");
  std::map<std::string, std::vector<std::string>> byGauge;
  for (const std::string& line : linesOf(out.substr(0, out.find("--- Stats ---")))) {
    std::smatch m;
    byGauge[std::regex_match(line, m, tag) ? m[1].str() : ""].push_back(line);
  }
  return byGauge;
}

// The statistics: each timing's name and sample count (without UsbPort, which only the gauges
// selected one after another call), and the value lines whole.
std::string statisticsSummary(const std::string& out) {
  static const std::regex timing(R"(^(.*?) +(num \((\d+)\)|[0-9.]+ \w+)( .*)?$)");
  std::string summary;
  bool values = false;
  for (const std::string& line : linesOf(out.substr(out.find("--- Stats ---")))) {
    std::smatch m;
    if (line.empty()) {
      values = true;
    } else if (values) {
      summary += line + "\n";
    } else if (std::regex_match(line, m, timing) && m[1] != "UsbPort" && m[1] != "TotalTestTime") {
      summary += m[1].str() + " x" + (m[3].matched ? m[3].str() : "1") + "\n";
    }
  }
  return summary;
}

TEST(Qx5cmdParallel, FourGaugesAtOnceGiveEachGaugeWhatOneAfterAnotherGives) {
  REQUIRE_HANDLE_EXPORTS();
  const std::vector<std::string> tests = {
      "GetSerialNumber", "GetQX5FirmwareVersion", "GetDeviceName", "GetPressure", "SetRange", "1"};
  std::vector<std::string> one = {"-d=0", "-s", "-n=2"};
  one.insert(one.end(), tests.begin(), tests.end());
  std::vector<std::string> four = one;
  four.insert(four.begin(), "-j=4");
  ProcessResult a = qx5cmd(one, simulated("4"));
  ProcessResult b = qx5cmd(four, simulated("4"));
  ASSERT_EQ(a.exitStatus, 0) << a.err;
  ASSERT_EQ(b.exitStatus, 0) << b.err;

  const auto before = linesByGauge(a.out), after = linesByGauge(b.out);
  for (const char* gauge : {"[0]", "[1]", "[2]", "[3]"}) {
    // Each gauge's own lines, whole and in its own order: per loop its serial number and the
    // results (SetRange's header line included); the gauge count names the last one selected.
    ASSERT_EQ(after.count(gauge), 1u) << b.out;
    EXPECT_GE(after.at(gauge).size(), 2u * 6) << b.out;
    EXPECT_EQ(after.at(gauge), before.at(gauge));
  }
  // Untagged: only the empty lines before the loops and the statistics.
  EXPECT_EQ(after.at(""), std::vector<std::string>(3, ""));
  EXPECT_EQ(statisticsSummary(b.out), statisticsSummary(a.out)) << a.out << b.out;

  for (const char* bad : {"-j=0", "-j=x", "-j"}) {
    ProcessResult r = qx5cmd({bad, "GetSerialNumber"}, simulated("1"));
    EXPECT_EQ(r.exitStatus, 255) << bad;
    EXPECT_THAT(r.err, HasSubstr("bad number of gauges at once")) << bad;
  }
}

TEST(Qx5cmdParallel, AGaugeUnpluggedMidRunStopsOnlyItsOwnRun) {
  REQUIRE_HANDLE_EXPORTS();
  TempDir dir;
  for (int i = 0; i < 4; ++i)
    writeFile(
        dir.path() / ("g" + std::to_string(i) + ".gauge"),
        "serial = " + std::to_string(3000 + i) + (i == 2 ? "\nfault = unplug-after=5\n" : "\n"));
  // -x ends the run after the loop in which gauge 2 failed: that loop ends for every gauge.
  ProcessResult r = qx5cmd({"-d=0", "-j=4", "-x", "-n=3", "-s", "GetSerialNumber", "GetPressure",
                            "GetPressure", "GetPressure"},
                           simulated(dir.path().string()));
  EXPECT_EQ(r.exitStatus, 0) << r.err;
  const auto byGauge = linesByGauge(r.out);
  for (const char* gauge : {"[0]", "[1]", "[2]", "[3]"}) {
    ASSERT_EQ(byGauge.count(gauge), 1u) << r.out;
    int readings = 0;
    for (const std::string& line : byGauge.at(gauge)) {
      EXPECT_THAT(line, ::testing::Not(::testing::StartsWith("2 ")));  // no second loop
      readings += line.starts_with(std::string("1 ") + gauge + " GetPressure ");
    }
    if (std::string(gauge) == "[2]") {
      EXPECT_LT(readings, 3) << r.out;
    } else {
      EXPECT_EQ(readings, 3) << r.out;
    }
  }
  EXPECT_THAT(r.out, ::testing::ContainsRegex("\nfailed GetPressure +[0-9.]+ \\w+\n"));
}

// A station of four gauges plugged in together, upgraded at once; one is cut off while its
// settings are written, and the next run finishes it from the write's record and leaves the
// others alone.
TEST(Qx5cmdParallel, TheStationUpgradesGaugesAtOnceAndTheNextRunFinishesACutOne) {
  REQUIRE_HANDLE_EXPORTS("UploadMemory", "DownloadMemory", "EraseMemory", "DoBoot",
                         "QX5GaugeDownloadMemory", "QX5GaugeDoBoot");
  TempDir dir;
  const fs::path gauges = dir.path() / "gauges", work = dir.path() / "work";
  fs::create_directories(gauges);
  fs::create_directories(work);
  writeFile(work / "fw.2.hex", HexText()
                                   .block(0, Bytes(256, 0xA5))
                                   .block(kVersionRecordAddress, versionRecord("3.21"))
                                   .text());
  auto plug = [&](int serial, const std::string& fault) {
    writeFile(gauges / (std::to_string(serial) + ".gauge"),
              "serial = " + std::to_string(serial) + "\neeprom_version = 16\n" + fault);
  };
  // Gauge 2003 vanishes after 35 packets: within the write of its converted settings.
  for (int serial : {2001, 2002, 2003, 2004})
    plug(serial, serial == 2003 ? "fault = unplug-after=35\n" : "");
  auto station = [&] {
    return qx5cmdIn(work,
                    {"-x", "-d=0", "-j=4", "-s", "firmware_upgrade_station", "fw", "3.21", "17"},
                    simulated(gauges.string()));
  };
  auto memory = [&](int serial) { return readState(gauges / (std::to_string(serial) + ".state")); };
  auto record = [&] {
    std::string text;
    for (const auto& file : fs::directory_iterator(work))
      if (file.path().filename().string().starts_with("station_")) text += readFile(file.path());
    return text;
  };

  ProcessResult first = station();
  ASSERT_EQ(first.exitStatus, 0) << first.err;
  for (int serial : {2001, 2002, 2004}) {
    ASSERT_TRUE(memory(serial)) << serial;
    EXPECT_TRUE(memory(serial)->runs("3.21")) << serial << first.out;
    EXPECT_EQ(memory(serial)->eeprom[0], 17) << serial;
  }
  EXPECT_THAT(first.out, HasSubstr("[2003] upgrade failed for gauge   2003\n"));
  EXPECT_THAT(first.out, ::testing::ContainsRegex("\nupdateFirmware +num \\(3\\)"));
  ASSERT_TRUE(fs::exists(work / "eeprom.2003.writing.hex")) << first.out;
  const std::string backup = readFile(work / "eeprom.2003.hex");
  // Between the gauges found and the summary, every line is one gauge's, whole.
  const std::string found = "found gauge   2004    \n";
  const std::size_t from = first.out.find(found) + found.size();
  const std::string upgrades = first.out.substr(from, first.out.find("\n* ") - from);
  for (const std::string& line : linesOf(upgrades)) {
    if (line.empty()) continue;  // the bell alone
    EXPECT_THAT(line, ::testing::MatchesRegex("\\[200[1-4]\\] .+")) << upgrades;
  }

  plug(2003, "");  // plugged in again, sound
  ProcessResult second = station();
  ASSERT_EQ(second.exitStatus, 0) << second.err;
  for (int serial : {2001, 2002, 2004})
    EXPECT_THAT(second.out, HasSubstr(format("[%d] gauge %d has been upgraded to firmware 3.21\n",
                                             serial, serial)));
  EXPECT_THAT(second.out, HasSubstr("[2003] finishing an interrupted write"));
  ASSERT_TRUE(memory(2003));
  EXPECT_TRUE(memory(2003)->runs("3.21")) << second.out;
  EXPECT_EQ(memory(2003)->eeprom[0], 17);
  EXPECT_FALSE(fs::exists(work / "eeprom.2003.writing.hex"));
  EXPECT_EQ(readFile(work / "eeprom.2003.hex"), backup);  // never overwritten
  EXPECT_FALSE(
      fs::exists(work / "eeprom.2003.1.hex"));  // the gauge's half-written copy is not kept

  const std::string lines = record();
  EXPECT_EQ(std::count(lines.begin(), lines.end(), '\n'), 1 + 4 + 4) << lines;
  for (const char* line :
       {",2003,\"3.05\",\"\",17,\"failed\",", ",2003,\"3.05\",\"3.21\",17,\"upgraded\","})
    EXPECT_THAT(lines, HasSubstr(line));
  for (int serial : {2001, 2002, 2004}) {
    EXPECT_THAT(lines, HasSubstr(format(",%d,\"3.05\",\"3.21\",17,\"upgraded\",", serial)));
    EXPECT_THAT(lines, HasSubstr(format(",%d,\"3.21\",\"3.21\",17,\"already current\",", serial)));
  }
}

}  // namespace
}  // namespace qx5cmd
