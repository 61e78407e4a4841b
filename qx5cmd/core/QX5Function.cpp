#include "qx5cmd/core/QX5Function.h"

#include <cstdint>
#include <cstring>

#include "qx5cmd/core/LibraryBinding.h"

namespace qx5cmd {
namespace {

// The text of a library string: bounded by its length prefix as well as by its zero byte, so a
// malformed string never makes us read past what it holds.
std::string textOf(Bstr text) {
  std::uint32_t length = 0;
  std::memcpy(&length, text - sizeof length, sizeof length);
  return std::string(text, strnlen(text, length));
}

}  // namespace

TimedFunction::TimedFunction(const std::string& name)
    : name_(name),
      successTimes_(&stats().times(name)),
      failureTimes_(&stats().times("failed " + name)) {}

QX5Function::QX5Function(const std::string& name, const LibraryBinding& owner)
    : TimedFunction(name), owner_(owner) {
  const LibraryBinding::Entry entry = owner.entry(name.c_str());
  entry_ = entry.address;
  twin_ = entry.twin;
}

GaugeHandle QX5Function::gauge() const { return owner_.gauge(); }

QX5GetString::QX5GetString(const std::string& name, const LibraryBinding& owner)
    : QX5Function(name, owner), lastValue_(stats().stringValues(name + ".LastValue")) {}

std::string QX5GetString::call() {
  if (!bound()) return {};
  // Only the first byte is inspected: the text is 8-bit, and an empty string may hold nothing
  // beyond its single zero byte.
  Bstr result = timedCall<GetStringFn>([](Bstr r) { return r != nullptr && r[0] != '\0'; });
  if (!result) return {};
  std::string text = textOf(result);
  owner().freeString(result);
  if (!text.empty()) lastValue_.record(text);
  return text;
}

QX5GetBool::QX5GetBool(const std::string& name, const LibraryBinding& owner)
    : QX5Function(name, owner), value_(stats().intValues(name + ".Value")) {}

std::uint8_t QX5GetBool::call() {
  if (!bound()) return 0;
  std::uint8_t result = timedCall<GetBoolFn>([](ExportBool) { return true; });
  value_.record(result);
  return result;
}

QX5GetInt::QX5GetInt(const std::string& name, const LibraryBinding& owner)
    : QX5Function(name, owner), value_(stats().intValues(name + ".Value")) {}

int QX5GetInt::call() {
  if (!bound()) return -1;
  int result = timedCall<GetIntFn>([](int r) { return r != -1; });
  if (result != -1) value_.record(result);
  return result;
}

QX5GetFloat::QX5GetFloat(const std::string& name, const LibraryBinding& owner)
    : QX5Function(name, owner), value_(stats().values(name + ".Value")) {}

float QX5GetFloat::call() {
  if (!bound()) return -1.0f;
  float result = timedCall<GetFloatFn>([](float r) { return r != -1.0f; });
  if (result != -1.0f) value_.record(result);
  return result;
}

QX5GetPressure::QX5GetPressure(const std::string& name, const LibraryBinding& owner)
    : QX5Function(name, owner),
      portA_(stats().values(name + ".portA")),
      portB_(stats().values(name + ".portB")) {}

bool QX5GetPressure::call(float* portA, float* portB) {
  if (!succeeds<GetPressureFn>(portA, portB)) return false;
  portA_.record(*portA);
  portB_.record(*portB);
  return true;
}

bool QX5SetByte::call(std::uint8_t value) { return succeeds<SetByteFn>(value); }

bool QX5SetPInt::call(int value) { return succeeds<SetPIntFn>(&value); }

bool QX5SetFloat::call(float value) { return succeeds<SetFloatFn>(&value); }

bool QX5SetString::call(const std::string& text) {
  if (!bound()) return false;
  Bstr argument = owner().allocString(text.c_str(), static_cast<unsigned int>(text.size() + 1));
  if (!argument) return false;
  bool ok = succeeds<SetStringFn>(&argument);
  // The export only reads the string; releasing it here keeps long runs from growing.
  owner().freeString(argument);
  return ok;
}

bool QX5SetDate::call() { return succeeds<SetDateFn>(2001, 2, 28); }

bool QX5InitLogging::call(int level) {
  return succeeds<InitLoggingFn>(level, static_cast<const char*>(nullptr),
                                 static_cast<ExportBool>(1));
}

bool QX5EraseMemory::call(std::uint32_t address, std::uint32_t length) {
  return succeeds<EraseMemoryFn>(address, length);
}

bool QX5UploadOrDownloadMemory::call(std::uint32_t address, std::uint32_t count,
                                     std::uint8_t* buffer) {
  return succeeds<TransferMemoryFn>(address, count, buffer);
}

bool QX5RunTest::call(std::uint32_t test, std::uint32_t count, std::uint8_t* input,
                      std::uint32_t* resultLength, std::uint8_t* result) {
  return succeeds<RunTestFn>(test, count, input, resultLength, result);
}

bool QX5GetLcdRow::call(std::uint8_t row, std::uint8_t* buffer16) {
  return succeeds<GetLcdRowFn>(row, buffer16);
}

}  // namespace qx5cmd
