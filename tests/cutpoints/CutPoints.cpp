// Cuts download, download_eeprom and save_settings off at every packet of their run in turn
// (the gauge vanishes after N packets), plugs the gauge in again, runs the same command once
// more and checks what the gauge and the working folder hold against the rules below. Runs in
// this process on the simulated gauge model; waits move a clock of its own instead of sleeping.
//
//   cut_points [--every=K] [--command=NAME]   every K-th cut point (default 1: all of them)
//
// Ends with "N cut points recovered, M failed" and the time taken; exit status 1 on a failure.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <string>
#include <vector>

#include "cutpoints/ModelMemoryGauge.h"
#include "gaugesim/Gauge.h"
#include "qx5cmd/core/BreakSignal.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/firmware/Eeprom.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/FirmwareDownload.h"
#include "qx5cmd/firmware/HexWriter.h"

namespace qx5::cutpoints {
namespace {

namespace fs = std::filesystem;
using qx5cmd::EepromOutcome;
using qx5cmd::MemoryTransfer;

constexpr std::int32_t kSerial = 4711;
constexpr const char* kRelease = "9.99";
constexpr std::uint32_t kDefaults = 0x1F000;
constexpr std::uint32_t kVersionRecord = 0x1EFC0;

// The gauge's time: it moves only when the tester waits.
sim::TimePoint gTime{std::chrono::hours(1)};
void advance(int milliseconds) { gTime += std::chrono::milliseconds(milliseconds); }

// A release of nearly all of program flash (everything below the factory defaults) with its
// version record, as fw.2.hex in `folder`.
std::string writeRelease(const fs::path& folder) {
  std::vector<std::uint8_t> code(kDefaults);
  for (std::size_t i = 0; i < code.size(); ++i) code[i] = static_cast<std::uint8_t>(i * 31 + 7);
  const std::string tag = std::string("VER:") + kRelease;
  std::fill(code.begin() + kVersionRecord, code.end(), 0xFF);
  std::copy(tag.begin(), tag.end(), code.begin() + kVersionRecord);
  code[kVersionRecord + tag.size()] = 0;
  const fs::path stem = folder / "fw";
  HexWriter writer(stem.string() + ".2.hex");
  writer.writeBlock(0, code.data(), code.size());
  writer.writeEndOfFileRecord();
  writer.close();
  return stem.string();
}

struct Command {
  const char* name;
  std::function<bool(MemoryTransfer&, const std::string& stem)> run;
};

const std::vector<Command>& commands() {
  static const std::vector<Command> list = {
      {"download",
       [](MemoryTransfer& t, const std::string& stem) {
         qx5cmd::FirmwareDownload request;
         request.fileStem = stem;
         request.eepromVersion = 17;
         request.displayedVersion = kRelease;
         return qx5cmd::downloadFirmware(t, t.gauge().serialNumber(), request);
       }},
      {"download_eeprom",
       [](MemoryTransfer& t, const std::string&) {
         return qx5cmd::upgradeEeprom(t, t.gauge().serialNumber(), 17, false) ==
                    EepromOutcome::done &&
                t.launchFirmware();
       }},
      {"save_settings",
       [](MemoryTransfer& t, const std::string&) {
         return qx5cmd::saveSettings(t, t.gauge().serialNumber()) && t.launchFirmware();
       }},
  };
  return list;
}

// A gauge with layout 16 settings calibrated at the factory, as every run starts from.
sim::GaugeConfig gaugeConfig() {
  sim::GaugeConfig config;
  config.name = "cut";
  config.serial = kSerial;
  config.eepromVersion = 16;
  return config;
}

struct Memory {
  std::vector<std::uint8_t> live, defaults;
  bool bootloader = false;
  std::string version;
};

Memory memoryOf(const sim::Gauge& gauge) {
  const auto& flash = gauge.memory.flash();
  const auto& eeprom = gauge.memory.eeprom();
  return {std::vector<std::uint8_t>(eeprom.begin(), eeprom.begin() + qx5cmd::kEepromBytes),
          std::vector<std::uint8_t>(flash.begin() + kDefaults,
                                    flash.begin() + kDefaults + qx5cmd::kEepromBytes),
          gauge.inBootloader(), gauge.firmwareVersion()};
}

// One command run on the gauge, in the current folder; false when it failed.
bool runCommand(const Command& command, sim::Gauge& gauge, const std::string& stem, long cutAfter,
                long* exchanges = nullptr) {
  ModelMemoryGauge memory(gauge);
  memory.vanishAfter(cutAfter);
  qx5cmd::ProgressMeter meter([](const std::string&) {});
  MemoryTransfer transfer(memory, meter);
  const bool ok = command.run(transfer, stem);
  if (exchanges) *exchanges = memory.exchanges();
  return ok;
}

// What must hold after a cut run and one more run of the same command: named failures.
std::vector<std::string> brokenRules(const Command& command, bool rerunOk, const Memory& before,
                                     const Memory& uncut, const Memory& after) {
  std::vector<std::string> broken;
  auto rule = [&](bool holds, const char* name) {
    if (!holds) broken.push_back(name);
  };
  rule(rerunOk, "the run after the cut succeeds");
  rule(!after.bootloader && !after.version.empty(), "the gauge runs its application");
  rule(after.version == uncut.version, "the gauge runs the target firmware");
  rule(after.live == uncut.live, "the live settings are what an uncut run leaves");
  rule(after.defaults == uncut.defaults, "the factory defaults are what an uncut run leaves");
  ::EEPROM defaults(kSerial, "defaults");
  std::copy(after.defaults.begin(), after.defaults.end(), defaults.image().begin());
  rule(defaults.isCalibrated(), "the factory defaults are calibrated");
  // Backups: every one whole and valid; the first ones hold the gauge as it was.
  for (const auto& entry : fs::directory_iterator(".")) {
    const std::string name = entry.path().filename().string();
    ::EEPROM file(kSerial, name.starts_with("eeprom") ? "eeprom" : "defaults");
    rule(!name.ends_with(".writing.hex"), "no write is left unconfirmed");
    rule(!name.ends_with(".hex") || (file.readFile(name) && file.isValid()),
         "every backup is whole and valid");
    if (name == "eeprom.4711.hex")
      rule(std::equal(before.live.begin(), before.live.end(), file.image().begin()),
           "the first eeprom backup holds the gauge's settings before the first run");
    if (name == "defaults.4711.hex")
      rule(std::equal(before.defaults.begin(), before.defaults.end(), file.image().begin()),
           "the first defaults backup holds the gauge's defaults before the first run");
  }
  (void)command;
  return broken;
}

struct Tally {
  long recovered = 0, failed = 0;
  bool broken = false;  // the uncut run itself failed
};

Tally run(long every, const std::string& only, std::FILE* report) {
  std::string pattern = (fs::temp_directory_path() / "cut_points.XXXXXX").string();
  if (!mkdtemp(pattern.data())) {
    std::fprintf(report, "cannot create a working folder in %s\n", pattern.c_str());
    return {0, 0, true};
  }
  const fs::path root = pattern;
  const std::string stem = writeRelease(root);
  qx5cmd::session() = qx5cmd::Session{};
  qx5cmd::session().sleep = advance;
  qx5cmd::clearBreakRequest();
  const sim::ClockSource clock = [] { return gTime; };

  Tally tally;
  for (const Command& command : commands()) {
    if (!only.empty() && only != command.name) continue;
    // The uncut run: how many packets it takes and what it leaves.
    const fs::path folder = root / command.name;
    fs::create_directories(folder / "uncut");
    fs::current_path(folder / "uncut");
    sim::Gauge reference(gaugeConfig(), clock);
    const Memory before = memoryOf(reference);
    long packets = 0;
    if (!runCommand(command, reference, stem, -1, &packets)) {
      std::fprintf(report, "%s: the uncut run failed\n", command.name);
      tally.broken = true;
      return tally;
    }
    const Memory uncut = memoryOf(reference);

    long tried = 0;
    for (long cut = 0; cut < packets; cut += every, ++tried) {
      const fs::path here = folder / std::to_string(cut);
      fs::create_directories(here);
      fs::current_path(here);
      sim::Gauge gauge(gaugeConfig(), clock);
      runCommand(command, gauge, stem, cut);
      gauge.powerUp();  // plugged in again
      const bool rerunOk = runCommand(command, gauge, stem, -1);
      const std::vector<std::string> broken =
          brokenRules(command, rerunOk, before, uncut, memoryOf(gauge));
      fs::current_path(root);
      if (broken.empty()) {
        ++tally.recovered;
        fs::remove_all(here);
        continue;
      }
      ++tally.failed;
      std::fprintf(report, "%s cut after %ld of %ld packets (files in %s):\n", command.name, cut,
                   packets, here.c_str());
      for (const std::string& rule : broken) std::fprintf(report, "  broken: %s\n", rule.c_str());
    }
    std::fprintf(report, "%s: %ld packets, %ld cut points tried\n", command.name, packets, tried);
    std::fflush(report);
  }
  if (tally.failed == 0) fs::remove_all(root);
  return tally;
}

}  // namespace
}  // namespace qx5::cutpoints

int main(int argc, char** argv) {
  long every = 1;
  std::string only;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg.rfind("--every=", 0) == 0) {
      every = std::strtol(arg.c_str() + 8, nullptr, 10);
    } else if (arg.rfind("--command=", 0) == 0) {
      only = arg.substr(10);
    } else {
      std::fprintf(stderr, "usage: cut_points [--every=K] [--command=NAME]\n");
      return 2;
    }
  }
  if (every < 1) every = 1;
  // The tools talk on standard output; the report keeps its own copy of it.
  std::FILE* report = fdopen(dup(fileno(stdout)), "w");
  std::fflush(stdout);
  if (!report || !std::freopen("/dev/null", "w", stdout)) return 2;
  const auto start = std::chrono::steady_clock::now();
  const auto tally = qx5::cutpoints::run(every, only, report);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(report, "time taken: %.1f s\n", seconds);
  std::fprintf(report, "%ld cut points recovered, %ld failed\n", tally.recovered, tally.failed);
  std::fclose(report);
  return tally.broken ? 2 : tally.failed == 0 ? 0 : 1;
}
