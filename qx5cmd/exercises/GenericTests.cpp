#include "qx5cmd/exercises/GenericTests.h"

#include <cstdio>
#include <cstdlib>

#include "qx5cmd/core/BreakSignal.h"
#include "qx5cmd/core/Platform.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {
namespace {

// The test's own wrapper, or a message on `stream` when the library lacks the export.
template <class W>
std::unique_ptr<W> bindOwn(const char* name, std::FILE* stream) {
  auto function = bindFunction<W>(name, binding());
  if (!function) std::fprintf(stream, " can't find function %s in QX5DLL.DLL", name);
  return function;
}

}  // namespace

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

template <class W>
bool aOwnExportTest<W>::bind() {
  function_ = bindOwn<W>(name, stderr);
  return function_ != nullptr;
}

template <class Derived, class Value>
bool aNumberArgumentTest<Derived, Value>::parseArgument(int index, bool& ok, bool& more,
                                                        const std::string& text) {
  if (index != 0) {
    more = false;
    return false;
  }
  if (!Derived::convert(text, value_)) {
    std::fprintf(stderr, Derived::kBadArgument, text.c_str(), name);
    ok = false;
    return false;
  }
  more = false;
  return true;
}

template <class W, class Derived, class Value>
bool aSetterTest<W, Derived, Value>::bind() {
  function_ = bindOwn<W>(this->name, stderr);
  return function_ != nullptr;
}

bool aSetByte::convert(const std::string& text, std::uint8_t& value) {
  long number = 0;
  if (!parseInteger(text, number)) return false;
  value = static_cast<std::uint8_t>(number & 0xFF);
  return true;
}

bool aSetPInt::convert(const std::string& text, int& value) {
  long number = 0;
  if (!parseInteger(text, number)) return false;
  value = static_cast<int>(number);
  return true;
}

bool aGetInt::run() {
  printResult(displayName, format("%d", function_->call()));
  return true;
}

bool aGetFloat::run() {
  printResult(displayName, format("%g", static_cast<double>(function_->call())));
  return true;
}

bool aGetBool::bind() {
  // This one has always reported on standard output.
  function_ = bindOwn<QX5GetBool>(name, stdout);
  return function_ != nullptr;
}

bool aGetBool::run() {
  printResult(displayName, function_->call() ? "true" : "false");
  return true;
}

bool aGetString::run() {
  printResult(displayName, function_->call());
  return true;
}

bool aGetPressure::run() {
  float portA = 0, portB = 0;
  if (!function_->call(&portA, &portB)) return false;
  printResult(displayName,
              format("portA=%g portB=%g", static_cast<double>(portA), static_cast<double>(portB)));
  return true;
}

bool aSetString::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  if (index != 0) {
    more = false;
    return false;
  }
  if (text.empty()) {
    std::fprintf(stderr, " bad string argument '%s' to %s", text.c_str(), name);
    ok = false;
    return false;
  }
  value_ = text;
  more = false;
  return true;
}

bool aSetString::run() { return function_ && function_->call(std::string(value_)); }

bool aWait::run() {
  std::printf("sleeping %s seconds\n", streamed(value_).c_str());
  for (int i = 0; value_ > static_cast<float>(i) && !breakRequested(); ++i) session().sleep(1000);
  return true;
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
  int ms = truncatedInt(static_cast<double>(value_) * 1000.0);
  int t0 = tickCount_->call();
  std::uint32_t g0 = platform::tickCountMs();
  std::printf("sleeping %d milliseconds\n", ms);
  // Sliced like every pause, so Ctrl+C is honoured within a second; the report below uses
  // the time that actually passed.
  if (ms > 0) sleepUnlessBreak(ms);
  int t1 = tickCount_->call();
  std::uint32_t g1 = platform::tickCountMs();
  std::printf("%s", tickRateReport(t0, t1, g0, g1).c_str());
  return true;
}

template class aOwnExportTest<QX5GetInt>;
template class aOwnExportTest<QX5GetFloat>;
template class aOwnExportTest<QX5GetBool>;
template class aOwnExportTest<QX5GetString>;
template class aOwnExportTest<QX5GetPressure>;
template class aOwnExportTest<QX5SetString>;
template class aNumberArgumentTest<aSetByte, std::uint8_t>;
template class aNumberArgumentTest<aSetPInt, int>;
template class aNumberArgumentTest<aSetFloat, float>;
template class aNumberArgumentTest<aWait, float>;
template class aNumberArgumentTest<aTickRate, float>;
template class aSetterTest<QX5SetByte, aSetByte, std::uint8_t>;
template class aSetterTest<QX5SetPInt, aSetPInt, int>;
template class aSetterTest<QX5SetFloat, aSetFloat, float>;

}  // namespace qx5cmd
