#include "qx5cmd/exercises/GenericExercises.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {
namespace {

// Binds the test's own wrapper to the export named like the test, or says on `stream` that
// the library lacks it.
template <class W>
bool bindOwn(std::unique_ptr<W>& function, const char* name, std::FILE* stream = stderr) {
  function = bindFunction<W>(name, binding());
  if (!function) std::fprintf(stream, " can't find function %s in QX5DLL.DLL", name);
  return function != nullptr;
}

// Offers `text` to `accept` as the one argument of `test`; a word it refuses rejects the
// command line with a complaint naming the `kind` of argument wanted.
template <class Accept>
bool takeOnlyArgument(const char* test, const char* kind, int index, bool& ok, bool& more,
                      const std::string& text, Accept accept) {
  if (index != 0) {
    more = false;
    return false;
  }
  // A number missing at the end of the line reads as 0, as it always has; say so, since a fan
  // stopped or a Wait skipped without a word would surprise. (An empty string is refused below.)
  if (text.empty() && std::strcmp(kind, "string") != 0) warnMissingValue(test, "a value");
  if (!accept(text)) {
    std::fprintf(stderr, " bad %s argument '%s' to %s", kind, text.c_str(), test);
    ok = false;
    return false;
  }
  more = false;
  return true;
}

}  // namespace

void warnMissingValue(const char* test, const char* what) {
  if (session().quietArguments) return;
  std::fprintf(stderr, "warning: %s ends the command line without %s: taking 0\n", test, what);
}

bool parseInteger(const std::string& text, long& value) {
  int number = 0;
  if (!parseDecimalInt(text, number)) return false;
  value = number;
  return true;
}

bool parseFloat(const std::string& text, float& value) {
  char* end = nullptr;
  value = std::strtof(text.c_str(), &end);
  return *end == '\0';
}

bool aGetInt::bind() { return bindOwn(function_, name); }

bool aGetInt::run() {
  printResult(displayName, format("%d", function_->call()));
  return true;
}

bool aGetFloat::bind() { return bindOwn(function_, name); }

bool aGetFloat::run() {
  printResult(displayName, format("%g", static_cast<double>(function_->call())));
  return true;
}

bool aGetBool::bind() {
  // This one has always reported on standard output.
  return bindOwn(function_, name, stdout);
}

bool aGetBool::run() {
  printResult(displayName, function_->call() ? "true" : "false");
  return true;
}

bool aGetString::bind() { return bindOwn(function_, name); }

bool aGetString::run() {
  printResult(displayName, function_->call());
  return true;
}

bool aGetPressure::bind() { return bindOwn(function_, name); }

bool aGetPressure::run() {
  float portA = 0, portB = 0;
  if (!function_->call(&portA, &portB)) return false;
  printResult(displayName,
              format("portA=%g portB=%g", static_cast<double>(portA), static_cast<double>(portB)));
  return true;
}

bool aSetByte::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "integer", index, ok, more, text, [this](const std::string& t) {
    long number = 0;
    if (!parseInteger(t, number)) return false;
    value_ = static_cast<std::uint8_t>(number & 0xFF);
    return true;
  });
}

bool aSetByte::bind() { return bindOwn(function_, name); }

bool aSetByte::run() { return function_ && function_->call(value_); }

bool aSetPInt::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "integer", index, ok, more, text, [this](const std::string& t) {
    long number = 0;
    if (!parseInteger(t, number)) return false;
    value_ = static_cast<int>(number);
    return true;
  });
}

bool aSetPInt::bind() { return bindOwn(function_, name); }

bool aSetPInt::run() { return function_ && function_->call(value_); }

bool aSetFloat::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "float", index, ok, more, text,
                          [this](const std::string& t) { return parseFloat(t, value_); });
}

bool aSetFloat::bind() { return bindOwn(function_, name); }

bool aSetFloat::run() { return function_ && function_->call(value_); }

bool aSetString::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "string", index, ok, more, text, [this](const std::string& t) {
    if (t.empty()) return false;
    value_ = t;
    return true;
  });
}

bool aSetString::bind() { return bindOwn(function_, name); }

bool aSetString::run() { return function_ && function_->call(std::string(value_)); }

bool aWait::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "seconds", index, ok, more, text,
                          [this](const std::string& t) { return parseFloat(t, seconds_); });
}

bool aWait::run() {
  out("sleeping %s seconds\n", streamed(seconds_).c_str());
  for (int i = 0; seconds_ > static_cast<float>(i) && !breakRequested(); ++i) session().sleep(1000);
  return true;
}

bool aTickRate::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  return takeOnlyArgument(name, "duration", index, ok, more, text,
                          [this](const std::string& t) { return parseFloat(t, seconds_); });
}

bool aTickRate::bind() {
  tickCount_ = bindFunction<QX5GetInt>("GetQX5TickCount", binding());
  if (!tickCount_) std::fprintf(stderr, " can't find GetQX5TickCount in qx5dll.dll");
  return tickCount_ != nullptr;
}

std::string tickRateReport(int t0, int t1, std::uint32_t g0, std::uint32_t g1) {
  const auto ticks =
      static_cast<std::int32_t>(static_cast<std::uint32_t>(t1) - static_cast<std::uint32_t>(t0));
  const std::uint32_t milliseconds = g1 - g0;
  std::string text = streamed(ticks) + " ticks in " + streamed(milliseconds) + " milliseconds\n";
  if (milliseconds == 0)
    return text + "that's n/a ticks per second\n or n/a milliseconds per tick\n";
  double rate = static_cast<double>(ticks) / (static_cast<double>(milliseconds) / 1000.0);
  text += "that's " + streamed(rate) + " ticks per second\n";
  if (rate == 0) return text + " or n/a milliseconds per tick\n";
  return text + " or " + streamed(1000.0 / rate) + " milliseconds per tick\n";
}

bool aTickRate::run() {
  session().sleep(10);
  int ms = truncatedInt(static_cast<double>(seconds_) * 1000.0);
  int t0 = tickCount_->call();
  std::uint32_t g0 = platform::tickCountMs();
  out("sleeping %d milliseconds\n", ms);
  // Sliced like every pause, so Ctrl+C is honoured within a second; the report below uses
  // the time that actually passed.
  if (ms > 0) sleepUnlessBreak(ms);
  int t1 = tickCount_->call();
  std::uint32_t g1 = platform::tickCountMs();
  out("%s", tickRateReport(t0, t1, g0, g1).c_str());
  return true;
}

}  // namespace qx5cmd
