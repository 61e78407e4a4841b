#include "qx5cmd/exercises/Goto.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <optional>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/exercises/GenericExercises.h"
#include "qx5cmd/exercises/GotoRecording.h"
#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

// Once attained, the error is sampled at this pace, whatever -d says.
constexpr int kSamplePeriodMs = 500;
// Fan changes 3 to 11 give the controller periods: the first change is the first reading, and
// the interval up to the second may start anywhere within a period.
constexpr int kFirstTimedChange = 3;
constexpr int kLastTimedChange = 11;

GotoSettings& remembered() {
  static GotoSettings settings;
  return settings;
}

// Whether the pressures are read with GetPressureFaster: decided at the first poll of the
// first Goto and kept for the rest of the program (of the thread, for gauges run at once).
std::optional<bool>& pressureReadFaster() {
  thread_local std::optional<bool> faster;
  return faster;
}

std::string firmwareVersion() {
  const auto& getVersion = binding().GetQX5FirmwareVersion;
  return getVersion ? getVersion->call() : std::string();
}

// A missing export fails the run rather than being called.
template <class W>
W* present(const std::unique_ptr<W>& member, const char* exportName) {
  if (!member) out("Goto: the library lacks %s\n", exportName);
  return member.get();
}

// The elapsed milliseconds between two tick counts, right across a counter wrap.
std::uint32_t since(std::uint32_t start, std::uint32_t now) { return now - start; }

}  // namespace

void resetGotoProcessState() {
  remembered() = GotoSettings{};
  pressureReadFaster().reset();
}

bool isOldFirmware(const std::string& version) {
  for (const char* prefix : {"1.", "2.0", "2.1", "2.2"}) {
    if (version.starts_with(prefix)) return true;
  }
  return false;
}

struct aGoto::Run {
  QX5GetFloat* fanReader = nullptr;
  std::uint32_t inBandSince = 0;
  std::uint32_t waitStart = 0;
  bool sampling = false;
  std::uint32_t sampleStart = 0;
  double referenceFan = -1.0;
  double previousFan = -1.0;
  int fanChanges = 0;
  std::uint32_t lastChangeTick = std::numeric_limits<std::uint32_t>::max();
  int samples = 0;
  double sumAbsError = 0.0;
  double maxAbsError = 0.0;
  StatsValues* controllerPeriod = nullptr;
  StatsValues* fanSpeed = nullptr;
  StatsValues* roomPressure = nullptr;
  StatsValues* absError = nullptr;
  StatsValues* fanSpeedChange = nullptr;
  GotoRecording* recording = nullptr;
};

aGoto::aGoto(const char* name, const char* description)
    : aTest(name, description,
            {"pressure", "accuracy", "duration", "max_wait", "sample_duration"}) {}

std::unique_ptr<aTest> aGoto::clone() const { return std::make_unique<aGoto>(name, description); }

bool aGoto::bind() {
  durationMs_ = truncatedInt(settings_.duration * 1000.0);
  maxWaitMs_ = truncatedInt(settings_.maxWait * 60.0 * 1000.0);
  return true;
}

bool aGoto::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  float value = 0.0f;
  bool whole = parseFloat(text, value);
  if (index == 0) {
    if (text.empty()) warnMissingValue(name, "a pressure");
    if (!whole) {
      std::fprintf(stderr, " bad pressure '%s' to %s", text.c_str(), name);
      ok = false;
      return false;
    }
    pressure_ = value;
    settings_ = remembered();
    return true;
  }
  // An optional value that is no number is left for the command line to read as the next
  // test or option; the values after it stay as remembered. So does the end of the line:
  // read as 0 there, the values would ask for an exact pressure held with no time limit, a
  // Goto that never ends.
  if (index > 4 || text.empty() || !whole) {
    more = false;
    return false;
  }
  float GotoSettings::*fields[] = {&GotoSettings::accuracy, &GotoSettings::duration,
                                   &GotoSettings::maxWait, &GotoSettings::sampleDuration};
  settings_.*fields[index - 1] = value;
  remembered().*fields[index - 1] = value;
  if (index == 4) more = false;
  return true;
}

void aGoto::copyParsedState(const aTest& original) {
  // Its words alone would take the omitted values from what the whole line left remembered.
  const auto& goto_ = static_cast<const aGoto&>(original);
  pressure_ = goto_.pressure_;
  settings_ = goto_.settings_;
}

QX5GetFloat* aGoto::fanReader() {
  LibraryBinding& library = binding();
  if (!library.GetFanSpeedPercent) {
    out("DLL doesn't have GetFanSpeedPercent so using GetFanSpeed\n");
    return present(library.GetFanSpeed, "GetFanSpeed");
  }
  std::string version = firmwareVersion();
  if (isOldFirmware(version)) {
    out("firmware = \"%s\" so using GetFanSpeed\n", version.c_str());
    return present(library.GetFanSpeed, "GetFanSpeed");
  }
  out("firmware = \"%s\" so using GetFanSpeedPercent\n", version.c_str());
  return library.GetFanSpeedPercent.get();
}

QX5GetPressure* aGoto::pressureReader() {
  if (!pressureReadFaster()) {
    std::string version = firmwareVersion();
    pressureReadFaster() = !isOldFirmware(version);
    out("firmware = \"%s\" so using %s\n", version.c_str(),
        *pressureReadFaster() ? "GetPressureFaster" : "GetPressure");
  }
  LibraryBinding& library = binding();
  return *pressureReadFaster() ? present(library.GetPressureFaster, "GetPressureFaster")
                               : present(library.GetPressure, "GetPressure");
}

bool aGoto::run() {
  Session& s = session();
  s.options.showStats = true;
  out("waiting for pressure of %s to within an accuracy of %s for %s seconds or a maximum of %s "
      "minutes and sample steady state error for %s seconds\n",
      streamed(pressure_).c_str(), streamed(settings_.accuracy).c_str(),
      streamed(settings_.duration).c_str(), streamed(settings_.maxWait).c_str(),
      streamed(settings_.sampleDuration).c_str());

  Run state;
  state.fanReader = fanReader();
  state.inBandSince = s.tickCount();
  state.waitStart = s.tickCount();
  StatsRegistry& registry = stats();
  state.controllerPeriod = &registry.values("controller period");
  state.fanSpeed = &registry.values(displayName + " fanSpeed");
  state.roomPressure = &registry.values(displayName + " pressure");
  state.absError = &registry.values(displayName + " absError");
  state.fanSpeedChange = &registry.values(displayName + " fanSpeedChange");
  if (!state.fanReader) return false;

  QX5SetFloat* setTarget = present(binding().SetRoomPressure, "SetRoomPressure");
  if (!setTarget) return false;
  setTarget->call(pressure_);

  GotoRecording recording(s.serial, displayName, pressure_, settings_.accuracy);
  state.recording = &recording;
  if (breakRequested()) return recording.end(false);
  for (;;) {
    if (std::optional<bool> result = poll(state)) return recording.end(*result);
  }
}

std::optional<bool> aGoto::poll(Run& state) {
  Session& s = session();
  std::uint32_t now = s.tickCount();
  QX5GetPressure* readPressures = pressureReader();
  if (!readPressures) return false;
  float room = 0.0f, fanPressure = 0.0f;
  if (!readPressures->call(&room, &fanPressure)) return false;
  float fan = state.fanReader->call();
  state.recording->poll({since(state.waitStart, now) / 1000.0, room, fanPressure, fan});

  if (fan != state.previousFan) {
    ++state.fanChanges;
    if (state.fanChanges >= kFirstTimedChange && state.fanChanges <= kLastTimedChange) {
      double period = since(state.lastChangeTick, s.tickCount()) / 1000.0;
      out("controller period update %s\n", streamed(period).c_str());
      state.controllerPeriod->record(period);
    }
    state.lastChangeTick = s.tickCount();
    state.previousFan = fan;
  }

  float err = room - pressure_;
  double absErr = std::fabs(static_cast<double>(err));
  std::string line = format("fan speed %0.2f%%  err %5.2f kPa  room %0.2f kPa fan %0.1f kPa",
                            static_cast<double>(fan), static_cast<double>(err),
                            static_cast<double>(room), static_cast<double>(fanPressure));

  if (state.sampling) {
    printResult(displayName, line + " (sampling steady state error)");
    state.absError->record(absErr);
    state.roomPressure->record(room);
    state.fanSpeed->record(fan);
    state.fanSpeedChange->record(fan - state.referenceFan);
    ++state.samples;
    state.sumAbsError += absErr;
    if (absErr > state.maxAbsError) state.maxAbsError = absErr;
    if (since(state.sampleStart, s.tickCount()) > settings_.sampleDuration * 1000.0)
      return finish(state);
    s.sleep(kSamplePeriodMs);
  } else {
    if (std::fabs(err) > settings_.accuracy) {
      printResult(displayName, line + " (outside accuracy)");
      state.inBandSince = now;
      state.samples = 0;
    } else {
      std::uint32_t inBand = since(state.inBandSince, now);
      printResult(displayName, line + format(" (at pressure for %.1f secs)", inBand / 1000.0));
      if (static_cast<std::int64_t>(inBand) > durationMs_) {
        out("attained pressure of %s to within an accuracy of %s for %s seconds\n",
            streamed(pressure_).c_str(), streamed(settings_.accuracy).c_str(),
            streamed(settings_.duration).c_str());
        state.sampling = true;
        state.referenceFan = fan;
        state.sampleStart = s.tickCount();
        state.recording->attained(since(state.waitStart, state.sampleStart) / 1000.0);
      }
    }
    if (maxWaitMs_ > 0 && static_cast<std::int64_t>(since(state.waitStart, now)) > maxWaitMs_) {
      out("timeout waiting to attain pressure\n");
      state.recording->timedOut();
      if (QX5SetFloat* setFan = present(binding().SetFanSpeed, "SetFanSpeed")) setFan->call(0.0f);
      return false;
    }
    if (!interCallDelay()) return false;
  }
  if (breakRequested()) return false;
  return std::nullopt;
}

bool aGoto::finish(const Run& state) {
  double average = state.sumAbsError / state.samples;
  stats().values(displayName + " maxAbsError").record(state.maxAbsError);
  stats().values(displayName + " averageAbsError").record(average);
  printResult(displayName,
              format("... maximum error during sample duration %0.2f", state.maxAbsError));
  printResult(displayName, format("... average error during sample duration %0.2f", average));
  return true;
}

}  // namespace qx5cmd
