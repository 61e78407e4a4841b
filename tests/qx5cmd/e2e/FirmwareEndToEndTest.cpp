// The firmware and EEPROM tools run as a program against simulated gauges whose memory is read
// back from the state they leave beside their .gauge files.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <optional>
#include <sstream>

#include "qx5cmd/e2e/EndToEnd.h"
#include "qx5cmd/e2e/FirmwareFixtures.h"
#include "support/TempDir.h"

namespace qx5cmd {
namespace {

using namespace e2e;
using qx5::test::TempDir;
using ::testing::HasSubstr;
using ::testing::Not;

Bytes pattern(std::size_t n, std::uint8_t seed) {
  Bytes bytes(n);
  for (std::size_t i = 0; i < n; ++i) bytes[i] = static_cast<std::uint8_t>(seed + i * 13);
  return bytes;
}

// A firmware release "3.21": code from 0 across two erase steps, its version record, and
// configuration words and EEPROM bytes that a download must not write.
const Bytes kCode = pattern(3000, 7);
std::string firmwareFile(const std::string& version = "3.21") {
  return HexText()
      .block(0x000000, kCode)
      .block(kVersionRecordAddress, versionRecord(version))
      .block(0x300000, Bytes(8, 0x00))
      .block(0xF00000, Bytes(16, 0x00))
      .text();
}

// A bench: a folder of gauges and a working folder where qx5cmd runs.
struct Bench {
  Bench() {
    fs::create_directory(gauges());
    fs::create_directory(work());
  }
  fs::path gauges() const { return dir.path() / "gauges"; }
  fs::path work() const { return dir.path() / "work"; }
  void plug(const std::string& name, const std::string& keys) {
    writeFile(gauges() / (name + ".gauge"), keys);
  }
  std::optional<GaugeMemory> memory(const std::string& name = "a") const {
    return readState(gauges() / (name + ".state"));
  }
  // With `breakAfter`, a Ctrl+C once standard output shows that text.
  ProcessResult run(std::vector<std::string> args, std::map<std::string, std::string> env = {},
                    const std::string& breakAfter = "") {
    env["QX5SIM"] = gauges().string();
    args.insert(args.begin(), "-d=0");
    return qx5cmd(std::move(args), std::move(env), breakAfter.empty() ? 0 : SIGINT, breakAfter,
                  work().string());
  }
  TempDir dir;
};

#define REQUIRE_MEMORY_EXPORTS()                                                        \
  REQUIRE_GAUGE_LOOP_EXPORTS("UploadMemory", "DownloadMemory", "EraseMemory", "DoBoot", \
                             "GetQX5FirmwareVersion", "GetChipset", "RunTest")

// --- Uploads ---------------------------------------------------------------------------------

TEST(Qx5cmdFirmware, UploadsReadBackAsTheGaugesMemory) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "serial = 4711\n");
  ASSERT_EQ(bench.run({"SetRange", "0"}).exitStatus, 0);  // leaves the gauge's state behind
  ProcessResult r = bench.run({"upload", "upload_all", "upload_config"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  const auto memory = bench.memory();
  ASSERT_TRUE(memory);

  EXPECT_EQ(hexImage(bench.work() / "test.hex"),
            Bytes(memory->flash.begin(), memory->flash.begin() + 1024));
  EXPECT_EQ(hexImage(bench.work() / "cfg.hex"),
            Bytes(memory->config.begin(), memory->config.begin() + 8));
  const Bytes all = hexImage(bench.work() / "uploadall.hex");
  ASSERT_EQ(all.size(), 0x300008u);  // flash, a gap objcopy fills with zeros, configuration words
  EXPECT_EQ(Bytes(all.begin(), all.begin() + kFlashSize), memory->flash);
  EXPECT_EQ(Bytes(all.end() - 8, all.end()),
            Bytes(memory->config.begin(), memory->config.begin() + 8));
}

// A backup cut short must not pass for a full one: the test fails and names the address, and
// the file written so far stays well formed (whole blocks only).
TEST(Qx5cmdFirmware, AnUploadCutShortFailsAndKeepsAWellFormedFile) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "fault = unplug-after=12\n");
  ProcessResult r = bench.run({"-s", "upload"});
  EXPECT_THAT(r.out, HasSubstr("\nfailed upload "));
  const std::string text = readFile(bench.work() / "test.hex");
  EXPECT_TRUE(text.ends_with(":00000001FF\n")) << text;
  const Bytes image = hexImage(bench.work() / "test.hex");
  EXPECT_GT(image.size(), 0u);
  EXPECT_LT(image.size(), 1024u);
  EXPECT_EQ(image.size() % 48, 0u);
  char address[64];
  std::snprintf(address, sizeof address, "ERROR uploading memory from address %zx\n", image.size());
  EXPECT_THAT(r.out, HasSubstr(address));

  Bench eeprom;
  eeprom.plug("a", "fault = unplug-after=20\n");  // within the live EEPROM image
  r = eeprom.run({"-s", "upload_eeprom", "x"});
  EXPECT_THAT(r.out, ::testing::ContainsRegex("reading eeprom from the gauge failed at address "
                                              "f00[0-9a-f]+; no backup made"));
  EXPECT_THAT(r.out, HasSubstr("\nfailed upload_eeprom x "));
  EXPECT_FALSE(fs::exists(eeprom.work() / "eeprom.10001.hex"));
}

// --- Bootloader test ---------------------------------------------------------------------------

TEST(Qx5cmdFirmware, BootloaderTestShowsFourDumpsAndConflictsOnlyWhenWritesAreRefused) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "");
  bench.plug("b", "fault = refuse-write\n");
  bench.plug("c", "fault = refuse-erase\n");
  ProcessResult r = bench.run({"-q", "bootloader"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  // One section per gauge, from its "Gauge#" line to the next.
  std::vector<std::string> sections;
  for (std::size_t at = r.out.find("Gauge#"); at != std::string::npos;) {
    const std::size_t next = r.out.find("Gauge#", at + 1);
    sections.push_back(r.out.substr(at, next == std::string::npos ? next : next - at));
    at = next;
  }
  ASSERT_EQ(sections.size(), 3u) << r.out;
  for (const std::string& s : sections) {
    EXPECT_THAT(s, HasSubstr("\nresetting the gauge\n"));
    EXPECT_THAT(s, HasSubstr("old data 01DFE0:"));
    EXPECT_THAT(s, HasSubstr("erased   01E1E0:"));
    EXPECT_THAT(s, HasSubstr("download 01E1E0:"));
    EXPECT_THAT(s, HasSubstr("new data 01E200:"));
  }
  EXPECT_THAT(sections[0], Not(HasSubstr("CONFLICTS")));
  EXPECT_THAT(sections[0], HasSubstr("new data 01E000:0000010102020303040405050606070708080909"));
  EXPECT_THAT(sections[1], HasSubstr("CONFLICTS in modify!!!\n"));
  EXPECT_THAT(sections[1], HasSubstr("ERROR downloading memory to address 1e000\n"));
  std::size_t erases = 0;
  for (std::size_t at = 0;
       (at = sections[2].find("\nERROR erasing memory", at)) != std::string::npos; ++at)
    ++erases;
  EXPECT_EQ(erases, 5u);
}

// --- Download ----------------------------------------------------------------------------------

TEST(Qx5cmdFirmware, DownloadWritesTheFlashRangesOfTheChipsetsFileAndStartsItsVersion) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "chipset = 7\n");
  ASSERT_EQ(bench.run({"SetRange", "0"}).exitStatus, 0);
  const GaugeMemory before = *bench.memory();
  writeFile(bench.work() / "fw.7.hex", firmwareFile());
  ProcessResult r = bench.run({"download", "fw", "17", "GetQX5FirmwareVersion"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  EXPECT_THAT(r.out, HasSubstr("downloading fw.7.hex (3088 bytes)\n"));
  EXPECT_THAT(r.out, HasSubstr("New firmware:            3.21\n"));
  EXPECT_THAT(r.out, HasSubstr("\nGetQX5FirmwareVersion    3.21\n"));

  const GaugeMemory after = *bench.memory();
  EXPECT_FALSE(after.bootloader);
  EXPECT_EQ(Bytes(after.flash.begin(), after.flash.begin() + 3000), kCode);
  // Flash erases in 64-byte blocks: the rest of the code's last block is erased with it.
  EXPECT_EQ(Bytes(after.flash.begin() + 3000, after.flash.begin() + 3008), Bytes(8, 0xFF));
  EXPECT_EQ(Bytes(after.flash.begin() + 3008, after.flash.begin() + 0x1EFC0),
            Bytes(before.flash.begin() + 3008, before.flash.begin() + 0x1EFC0));
  EXPECT_EQ(after.defaults(), before.defaults());
  EXPECT_EQ(after.config, before.config);
  EXPECT_EQ(after.eeprom, before.eeprom);
  EXPECT_TRUE(fs::exists(bench.work() / "eeprom.10001.hex"));
  EXPECT_TRUE(fs::exists(bench.work() / "defaults.10001.hex"));
}

TEST(Qx5cmdFirmware, AFileThatCannotBeReadWholeLeavesTheGaugeUntouched) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "");
  ASSERT_EQ(bench.run({"SetRange", "0"}).exitStatus, 0);
  const GaugeMemory before = *bench.memory();
  std::string corrupt = firmwareFile();
  corrupt[corrupt.find(":10") + 12] ^= 1;  // a data digit: the checksum no longer fits
  const struct {
    std::optional<std::string> file;
    const char* message;
  } cases[] = {{std::nullopt, "error reading fw.2.hex\n"},
               {"", "error reading fw.2.hex\n"},
               {corrupt, "error reading fw.2.hex\n"},
               {firmwareFile().substr(0, 200), "error reading fw.2.hex\n"},  // cut short
               {":00000001FF\n", "error loading .hex file\n"}};
  for (const auto& c : cases) {
    fs::remove(bench.work() / "fw.2.hex");
    if (c.file) writeFile(bench.work() / "fw.2.hex", *c.file);
    ProcessResult r = bench.run({"-s", "download", "fw", "17"});
    EXPECT_THAT(r.out, HasSubstr(c.message));
    EXPECT_THAT(r.out, HasSubstr("\nfailed download fw 17 "));
    EXPECT_THAT(r.out, Not(HasSubstr("switching to bootloader")));
    EXPECT_EQ(*bench.memory(), before) << c.message;
  }
}

// The application does not answer GetChipset: the file is looked for from the bootloader. A
// missing one starts the application again with nothing written; a present one is flashed.
TEST(Qx5cmdFirmware, AGaugeTellingItsChipsetOnlyInItsBootloaderStillDownloads) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "fault = chipset-in-bootloader-only\n");
  ASSERT_EQ(bench.run({"SetRange", "0"}).exitStatus, 0);
  const GaugeMemory before = *bench.memory();
  ProcessResult r = bench.run({"-s", "download", "fw", "17"});
  EXPECT_THAT(r.out, HasSubstr("Bootloader firmware:     BOOT 1.02\nerror reading fw.2.hex\n"));
  EXPECT_THAT(r.out, HasSubstr("\nfailed download fw 17 "));
  EXPECT_EQ(*bench.memory(), before);  // running its application again

  writeFile(bench.work() / "fw.2.hex", firmwareFile());
  r = bench.run({"download", "fw", "17", "GetQX5FirmwareVersion"});
  EXPECT_THAT(r.out, HasSubstr("\nGetQX5FirmwareVersion    3.21\n")) << r.out;
}

TEST(Qx5cmdFirmware, DownloadArgumentsAreChecked) {
  const struct {
    std::vector<std::string> words;
    const char* message;
  } cases[] = {
      {{"download"}, " invalid argument to test download\n"},
      {{"download", "fw"},
       " expected 16 or 17 for eeprom version invalid argument to test download\n"},
      {{"download", "fw", "x17"},
       " bad integer argument 'x17' to download invalid argument to test download\n"},
      {{"download", "fw", "18"},
       " expected 16 or 17 for eeprom version invalid argument to test download\n"},
      {{"download_eeprom", "15"},
       " expected 16 or 17 for eeprom version invalid argument to test download_eeprom\n"},
  };
  for (const auto& c : cases) {
    ProcessResult r = qx5cmd(c.words, fake());
    EXPECT_EQ(r.exitStatus, 0);
    EXPECT_THAT(r.err, ::testing::StartsWith(c.message)) << c.words.size();
    EXPECT_EQ(r.out, "");
  }
}

// --- Interrupted downloads ---------------------------------------------------------------------

// The packets written to gauge `name`, by command code, in order (version queries left out).
std::vector<int> commandTrace(const fs::path& trace, const std::string& name) {
  std::vector<int> commands;
  std::istringstream lines(readFile(trace));
  std::string line;
  const std::string prefix = "> " + name + " ";
  while (std::getline(lines, line)) {
    if (!line.starts_with(prefix)) continue;
    std::istringstream bytes(line.substr(prefix.size()));
    std::string byte;
    int index = 0, command = -1, parameter = 0;
    for (; bytes >> byte; ++index) {
      if (index == 7) command = std::stoi(byte, nullptr, 16);
      if (index == 8) parameter = std::stoi(byte, nullptr, 16);
    }
    commands.push_back(command == 75 ? 7500 + parameter : command);  // DoBoot with its mode
  }
  return commands;
}

constexpr int kUpload = 72, kWrite = 73, kErase = 74, kLaunch = 7501;

// The files a run leaves in the working folder besides the firmware file: backups only, each a
// whole image.
void expectWholeBackupsOnly(const fs::path& work) {
  for (const auto& entry : fs::directory_iterator(work)) {
    const std::string name = entry.path().filename().string();
    if (name == "fw.2.hex" || name.ends_with(".bin")) continue;
    EXPECT_FALSE(name.ends_with(".writing.hex")) << name << " left unconfirmed";
    if (name.ends_with(".hex")) {
      EXPECT_EQ(hexImage(entry.path()).size(), kImage) << name;
    }
  }
}

TEST(Qx5cmdFirmware, AnInterruptedDownloadRecoversOnTheNextRun) {
  REQUIRE_MEMORY_EXPORTS();
  // Where the packets of a whole download go, and what it leaves, from a traced run on a twin
  // gauge whose settings are converted (layout 16 to 17), so that both images are written.
  const std::string gauge = "eeprom_version = 16\n";
  Bench twin;
  twin.plug("a", gauge);
  ASSERT_EQ(twin.run({"SetRange", "0"}).exitStatus, 0);
  writeFile(twin.work() / "fw.2.hex", firmwareFile());
  ASSERT_EQ(
      twin.run({"download", "fw", "17"}, {{"QX5SIM_TRACE", (twin.dir.path() / "trace").string()}})
          .exitStatus,
      0);
  const GaugeMemory uncut = *twin.memory();
  ASSERT_EQ(uncut.eeprom[0], 17);
  const std::vector<int> packets = commandTrace(twin.dir.path() / "trace", "a");
  auto nth = [&](int command, int n) {
    for (std::size_t i = 0; i < packets.size(); ++i)
      if (packets[i] == command && n-- == 0) return static_cast<long>(i);
    return -1L;
  };
  constexpr int kImageBlocks = 22;  // 1010 bytes in packets of 48
  long writes = 0;
  for (int p : packets) writes += p == kWrite;
  const struct {
    const char* where;
    long packet;  // the gauge vanishes instead of taking this one
  } cuts[] = {
      {"reading the eeprom", nth(kUpload, 5)},
      {"writing the eeprom", nth(kWrite, 5)},
      {"reading the eeprom back", nth(kUpload, kImageBlocks + 3)},
      {"writing the defaults", nth(kWrite, kImageBlocks + 5)},
      {"erasing the flash", nth(kErase, 1)},
      {"writing the flash", nth(kWrite, static_cast<int>(writes + 2 * kImageBlocks) / 2)},
      {"launching", nth(kLaunch, 0)},
  };
  for (const auto& cut : cuts) {
    SCOPED_TRACE(cut.where);
    ASSERT_GT(cut.packet, 0);
    Bench bench;
    bench.plug("a", gauge);
    ASSERT_EQ(bench.run({"SetRange", "0"}).exitStatus, 0);
    const GaugeMemory before = *bench.memory();
    writeFile(bench.work() / "fw.2.hex", firmwareFile());
    bench.plug("a", gauge + "fault = unplug-after=" + std::to_string(cut.packet) + "\n");
    // A gauge gone at the launch is waited for 10 s per attempt: the technician gives up, or
    // the tester does first (its waits take no time on the virtual clock).
    ProcessResult cutRun =
        bench.run({"download", "fw", "17"}, {{"QX5_VIRTUAL_CLOCK", freshVirtualClock()}},
                  "launching new firmware...");
    EXPECT_THAT(cutRun.out, Not(HasSubstr("New firmware:")));
    // Settings left half written stop the download before the bootloader: flash untouched.
    if (cut.packet < nth(kErase, 0)) {
      EXPECT_EQ(bench.memory()->flash, before.flash);
      EXPECT_FALSE(bench.memory()->bootloader);
      if (cut.packet > nth(kWrite, 0)) {
        EXPECT_THAT(cutRun.out, HasSubstr("the eeprom upgrade did not finish"));
      }
    }
    // A gauge cut off while its flash was being written comes back in its bootloader.
    if (cut.packet > nth(kErase, 0)) {
      EXPECT_TRUE(bench.memory()->bootloader);
    }
    bench.plug("a", gauge);  // plugged in again, sound
    ProcessResult again = bench.run({"download", "fw", "17", "GetQX5FirmwareVersion"});
    EXPECT_THAT(again.out, HasSubstr("\nGetQX5FirmwareVersion    3.21\n")) << again.out;
    const GaugeMemory after = *bench.memory();
    EXPECT_EQ(after.liveImage(), uncut.liveImage());
    EXPECT_EQ(after.defaults(), uncut.defaults());
    EXPECT_EQ(Bytes(after.flash.begin(), after.flash.begin() + 3000), kCode);
    // The first backups hold the gauge as it was before the first run.
    EXPECT_EQ(hexImage(bench.work() / "eeprom.10001.hex"), before.liveImage());
    if (fs::exists(bench.work() / "defaults.10001.hex")) {
      EXPECT_EQ(hexImage(bench.work() / "defaults.10001.hex"), before.defaults());
    }
    expectWholeBackupsOnly(bench.work());
  }
}

// Backups are recovery copies: a later run takes the gauge's own sound settings, so a
// calibration made after the first conversion survives the next one, and a conversion back
// converts what the gauge holds.
TEST(Qx5cmdFirmware, ALaterRunKeepsTheGaugesNewerSettings) {
  REQUIRE_MEMORY_EXPORTS();
  REQUIRE_EXPORTS("GetCalibrationDate", "SetCustomDate", "SaveToEEPROM");
  if (!fs::exists("/usr/bin/python3")) GTEST_SKIP() << "needs python3 to recalibrate the gauge";
  Bench bench;
  bench.plug("a", "serial = 4711\neeprom_version = 16\n");
  ASSERT_EQ(bench.run({"download_eeprom", "17"}).exitStatus, 0);
  const Bytes defaults = bench.memory()->defaults();
  ProcessOptions python;
  python.environment = {{"QX5SIM", bench.gauges().string()},
                        {"PYTHONPATH", std::string(QX5_SOURCE_DIR) + "/python"},
                        {"QX5DLL_LIBRARY", qx5::test::privateLibrary()}};
  ProcessResult r = testing::runProcess(
      "/usr/bin/python3",
      {"-c",
       "import qx5\nfor g in qx5.gauges():\n  g.set_calibration_date(2023, 5, 6)\n"
       "  g.save_settings()"},
      python);
  ASSERT_EQ(r.exitStatus, 0) << r.err;

  r = bench.run({"download_eeprom", "17", "GetCalibrationDate"});
  EXPECT_THAT(r.out, HasSubstr("\nGetCalibrationDate       2023-05-06\n")) << r.out;
  EXPECT_THAT(r.out, HasSubstr("saving eeprom to \"eeprom.4711.1.hex\""));
  EXPECT_THAT(r.out, Not(HasSubstr("switching to bootloader")));
  EXPECT_EQ(bench.memory()->defaults(), defaults);
  EXPECT_EQ(hexImage(bench.work() / "eeprom.4711.hex")[0], 16);  // the first backup stays

  r = bench.run({"download_eeprom", "16", "GetCalibrationDate"});
  EXPECT_THAT(r.out, HasSubstr("\nGetCalibrationDate       2023-05-06\n")) << r.out;
  EXPECT_EQ(bench.memory()->eeprom[0], 16);
  EXPECT_EQ(bench.memory()->defaults()[0], 16);
}

// --- EEPROM tools ------------------------------------------------------------------------------

TEST(Qx5cmdFirmware, EepromToolsConvertBackUpAndFixTheCookie) {
  REQUIRE_MEMORY_EXPORTS();
  Bench bench;
  bench.plug("a", "eeprom_version = 16\n");
  ProcessResult r = bench.run({"upload_eeprom", "x", "download_eeprom", "17"});
  ASSERT_EQ(r.exitStatus, 0) << r.err;
  GaugeMemory memory = *bench.memory();
  EXPECT_EQ(memory.eeprom[0], 17);
  EXPECT_EQ(memory.defaults()[0], 17);
  EXPECT_FALSE(memory.bootloader);
  // Both backups hold the images as they were before the conversion.
  EXPECT_EQ(hexImage(bench.work() / "eeprom.10001.hex")[0], 16);
  EXPECT_EQ(hexImage(bench.work() / "defaults.10001.hex")[0], 16);

  // Exactly two bytes at the cookie, whatever was there.
  const fs::path trace = bench.dir.path() / "trace";
  r = bench.run({"fix_corrupted_eeprom"}, {{"QX5SIM_TRACE", trace.string()}});
  ASSERT_EQ(r.exitStatus, 0);
  std::vector<int> packets = commandTrace(trace, "a");
  EXPECT_EQ(std::count(packets.begin(), packets.end(), kWrite), 1);
  EXPECT_THAT(readFile(trace), HasSubstr(" 49 00 f0 03 f0 02 5b 4a"));
  memory = *bench.memory();
  EXPECT_EQ(memory.eeprom[1008], 0x5B);
  EXPECT_EQ(memory.eeprom[1009], 0x4A);
}

}  // namespace
}  // namespace qx5cmd
