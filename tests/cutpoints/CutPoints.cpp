// Cuts download, download_eeprom and save_settings off at every packet of their run in turn
// (the gauge vanishes after N packets), plugs the gauge in again, runs the same command once
// more and checks what the gauge and the working folder hold against the rules below. Runs in
// this process on the simulated gauge model; waits move a clock of its own instead of sleeping.
//
//   cut_points [--every=K] [--command=NAME]   every K-th cut point (default 1: all of them)
//              [--histories=H --steps=S --seed=X]
//
// Histories take one gauge through random sequences of those commands, recalibrations, cuts and
// re-plugs, checking after every step that a calibration is never reverted without a message,
// the factory defaults are never lost and the gauge can always be brought to run firmware.
// Ends with "N cut points recovered, M failed" and the time taken; exit status 1 on a failure.
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "cutpoints/ModelMemoryGauge.h"
#include "gaugesim/model/Gauge.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/firmware/Eeprom.h"
#include "qx5cmd/firmware/EepromProcedures.h"
#include "qx5cmd/firmware/FirmwareDownload.h"
#include "qx5cmd/firmware/HexWriter.h"
#include "qx5cmd/platform/BreakSignal.h"

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

// --- Histories: one gauge through random sequences of runs, recalibrations, cuts and re-plugs.

std::string readText(const fs::path& path) {
  std::string text;
  if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
    char buffer[4096];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, f)) > 0;) text.append(buffer, n);
    std::fclose(f);
  }
  return text;
}

::EEPROM::CalibrationDate liveDate(const sim::Gauge& gauge) {
  ::EEPROM live(kSerial, "eeprom");
  std::copy_n(gauge.memory.eeprom().begin(), qx5cmd::kEepromBytes, live.image().begin());
  return live.calibrationDate();
}

bool sameDate(const ::EEPROM::CalibrationDate& a, const ::EEPROM::CalibrationDate& b) {
  return a.year == b.year && a.month == b.month && a.day == b.day;
}

// Runs `histories` histories of `steps` steps; returns the number that broke a rule.
long runHistories(long histories, long steps, unsigned seed, const std::string& stem,
                  const fs::path& root, std::FILE* report) {
  const sim::ClockSource clock = [] { return gTime; };
  const char* const kSteps[] = {"download",      "download_eeprom 16", "download_eeprom 17",
                                "save_settings", "recalibrate",        "re-plug"};
  std::mt19937 random(seed);
  long broken = 0;
  for (long h = 0; h < histories; ++h) {
    const fs::path here = root / ("history" + std::to_string(h));
    fs::create_directories(here);
    fs::current_path(here);
    sim::Gauge gauge(gaugeConfig(), clock);
    ::EEPROM::CalibrationDate expected = liveDate(gauge);
    std::vector<std::uint8_t> firstBackup;  // eeprom.4711.hex once made: it never changes
    std::string log;
    std::string failure;
    auto check = [&](bool holds, const std::string& rule) {
      if (!holds && failure.empty()) failure = rule;
    };
    for (long step = 0; step <= steps && failure.empty(); ++step) {
      // The last step is always an uncut download: the gauge must be recoverable.
      const bool last = step == steps;
      const int kind = last ? 0 : static_cast<int>(random() % 6);
      const bool isCommand = kind <= 3;
      const long cut =
          !last && isCommand && random() % 3 == 0 ? static_cast<long>(random() % 3000) : -1;
      log +=
          std::string(kSteps[kind]) + (cut >= 0 ? " cut after " + std::to_string(cut) : "") + "; ";
      if (kind == 4) {
        if (gauge.inBootloader()) continue;
        gauge.settings.calibration = {static_cast<std::uint8_t>(1 + random() % 28),
                                      static_cast<std::uint8_t>(1 + random() % 12),
                                      static_cast<std::uint16_t>(2013 + random() % 12)};
        gauge.saveToEeprom();
        expected = liveDate(gauge);
        continue;
      }
      if (kind == 5) {
        gauge.powerUp();
        continue;
      }
      const fs::path output = root / "step.txt";
      std::fflush(stdout);
      if (!std::freopen(output.c_str(), "w", stdout)) return histories;
      ModelMemoryGauge memory(gauge);
      memory.vanishAfter(cut);
      qx5cmd::ProgressMeter meter([](const std::string&) {});
      MemoryTransfer transfer(memory, meter);
      bool ok = false;
      switch (kind) {
        case 0:
          ok = commands()[0].run(transfer, stem);
          break;
        case 1:
        case 2:
          ok = qx5cmd::upgradeEeprom(transfer, memory.serialNumber(), kind == 1 ? 16 : 17, false) ==
                   EepromOutcome::done &&
               transfer.launchFirmware();
          break;
        default:
          ok = commands()[2].run(transfer, stem);
      }
      std::fflush(stdout);
      if (!std::freopen("/dev/null", "w", stdout)) return histories;
      const std::string said = readText(output);
      const bool wasCut = cut >= 0 && memory.exchanges() >= cut;
      if (wasCut) {
        gauge.powerUp();  // plugged in again
        continue;
      }
      check(ok, "a run on a sound gauge succeeds");
      if (!ok) continue;
      check(!gauge.inBootloader(), "the gauge runs its application after a run");
      ::EEPROM defaults(kSerial, "defaults");
      std::copy_n(gauge.memory.flash().begin() + kDefaults, qx5cmd::kEepromBytes,
                  defaults.image().begin());
      check(defaults.isCalibrated(), "the factory defaults are never lost");
      const auto date = liveDate(gauge);
      const bool explained = said.find("finishing an interrupted write") != std::string::npos ||
                             said.find("using the backup") != std::string::npos;
      check(sameDate(date, expected) || explained, "a calibration is never reverted silently");
      expected = date;
      ::EEPROM first(kSerial, "eeprom");
      if (first.readFile("eeprom.4711.hex")) {
        std::vector<std::uint8_t> bytes(first.image().begin(), first.image().end());
        if (firstBackup.empty()) firstBackup = bytes;
        check(bytes == firstBackup, "the first backup is never overwritten");
      }
      for (const auto& entry : fs::directory_iterator(".")) {
        const std::string name = entry.path().filename().string();
        ::EEPROM file(kSerial, name.starts_with("eeprom") ? "eeprom" : "defaults");
        check(!name.ends_with(".hex") || (file.readFile(name) && file.isValid()),
              "every backup is whole and valid");
      }
      if (last) {
        check(memoryOf(gauge).version == kRelease, "the gauge runs the target firmware");
        check(!fs::exists("eeprom.4711.writing.hex") && !fs::exists("defaults.4711.writing.hex"),
              "no write is left unconfirmed");
      }
    }
    fs::current_path(root);
    if (failure.empty()) {
      fs::remove_all(here);
      continue;
    }
    ++broken;
    std::fprintf(report, "history %ld (files in %s) broke \"%s\" after: %s\n", h, here.c_str(),
                 failure.c_str(), log.c_str());
  }
  std::fprintf(report, "%ld histories of %ld steps (seed %u), %ld broke a rule\n", histories, steps,
               seed, broken);
  return broken;
}

struct Tally {
  long recovered = 0, failed = 0;
  long brokenHistories = 0;
  bool broken = false;  // the uncut run itself failed
};

struct Options {
  long every = 1;
  std::string only;
  long histories = 0, steps = 20;
  unsigned seed = 1;
};

Tally run(const Options& options, std::FILE* report) {
  const long every = options.every;
  const std::string& only = options.only;
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
  if (options.histories > 0)
    tally.brokenHistories =
        runHistories(options.histories, options.steps, options.seed, stem, root, report);
  if (tally.failed == 0 && tally.brokenHistories == 0) fs::remove_all(root);
  return tally;
}

}  // namespace
}  // namespace qx5::cutpoints

int main(int argc, char** argv) {
  qx5::cutpoints::Options options;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    auto value = [&](const char* name) {
      return arg.rfind(name, 0) == 0 ? std::strtol(arg.c_str() + std::strlen(name), nullptr, 10)
                                     : -1L;
    };
    if (value("--every=") >= 0) {
      options.every = std::max(1L, value("--every="));
    } else if (arg.rfind("--command=", 0) == 0) {
      options.only = arg.substr(10);
    } else if (value("--histories=") >= 0) {
      options.histories = value("--histories=");
    } else if (value("--steps=") >= 0) {
      options.steps = value("--steps=");
    } else if (value("--seed=") >= 0) {
      options.seed = static_cast<unsigned>(value("--seed="));
    } else {
      std::fprintf(stderr,
                   "usage: cut_points [--every=K] [--command=NAME] [--histories=H] [--steps=S] "
                   "[--seed=X]\n");
      return 2;
    }
  }
  // The tools talk on standard output; the report keeps its own copy of it.
  std::FILE* report = fdopen(dup(fileno(stdout)), "w");
  std::fflush(stdout);
  if (!report || !std::freopen("/dev/null", "w", stdout)) return 2;
  const auto start = std::chrono::steady_clock::now();
  const auto tally = qx5::cutpoints::run(options, report);
  const double seconds =
      std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  std::fprintf(report, "time taken: %.1f s\n", seconds);
  std::fprintf(report, "%ld cut points recovered, %ld failed\n", tally.recovered, tally.failed);
  std::fclose(report);
  if (tally.broken) return 2;
  return tally.failed == 0 && tally.brokenHistories == 0 ? 0 : 1;
}
