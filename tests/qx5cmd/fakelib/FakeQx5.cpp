// A stand-in for the gauge library with canned answers, for the tester's own tests: gauges with
// serial numbers 12345, 12346, ..., a log of the calls that change something, and control
// functions (Fake*) the tests reach by name. Built twice: complete, and without
// GetFanSpeedPercent.
#include <chrono>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#if defined(_WIN32)
// Built for the 64-bit Windows test build only, where there is one calling convention. The
// tester releases texts with oleaut32's SysFreeString there, so they come from oleaut32.
#define FAKE_EXPORT extern "C" __declspec(dllexport)
extern "C" __declspec(dllimport) char* __stdcall SysAllocStringByteLen(const char* bytes,
                                                                       unsigned length);
#else
#define FAKE_EXPORT extern "C" __attribute__((visibility("default")))
#endif

namespace {

using Bstr = char*;
using Byte = std::uint8_t;

struct FakeState {
  bool initialised = false;
  std::vector<int> serials;
  int current = 0;
  int failing = -1;  // index of a gauge whose pressure readings and setters fail
  std::string errors;
  std::string calls;
  std::vector<std::vector<int>> script;  // gauges seen by successive GetDeviceCount calls
  std::size_t scriptPos = 0;
  void (*onScriptEnd)() = nullptr;
  int serialOverride = 0;
  bool serialOverridden = false;
  float fanSpeed = 50.0f;
  std::string firmware = "1.23";
  bool firmwareNull = false;
  // Successive pressure reads give room (port A) values from here and successive fan reads
  // fan values, the last one repeating; empty: the fixed answers.
  std::vector<float> rooms, fans;
  std::size_t roomPos = 0, fanPos = 0;
  Byte lcd[64][16] = {};
  int lcdFailingRow = -1;
};

// "diagonal": pixel (i, i) dark for every row i.
void drawLcd(FakeState& s, const char* pattern) {
  if (std::string(pattern) != "diagonal") return;
  for (int i = 0; i < 64; ++i) s.lcd[i][i / 8] = static_cast<Byte>(0x80 >> (i % 8));
}

float next(const std::vector<float>& values, std::size_t& pos) {
  float value = values[pos];
  if (pos + 1 < values.size()) ++pos;
  return value;
}

FakeState& state() {
  static FakeState s;
  if (!s.initialised) {
    s.initialised = true;
    const char* count = std::getenv("FAKEQX5_GAUGES");
    int n = count ? std::atoi(count) : 1;
    for (int i = 0; i < n; ++i) s.serials.push_back(12345 + i);
    const char* failing = std::getenv("FAKEQX5_FAILING");
    if (failing) s.failing = std::atoi(failing);
    if (const char* lcd = std::getenv("FAKEQX5_LCD")) drawLcd(s, lcd);
  }
  return s;
}

void logCall(const std::string& line) { state().calls += line + "\n"; }

bool currentFails() {
  FakeState& s = state();
  if (s.current == s.failing) {
    s.errors += "gauge does not answer\n";
    return true;
  }
  return false;
}

Bstr makeString(const char* bytes, unsigned length) {
#if defined(_WIN32)
  return ::SysAllocStringByteLen(bytes, length);
#else
  char* block = static_cast<char*>(std::malloc(sizeof(std::uint32_t) + length + 1));
  std::uint32_t prefix = length;
  std::memcpy(block, &prefix, sizeof prefix);
  if (bytes) std::memcpy(block + sizeof prefix, bytes, length);
  block[sizeof prefix + length] = '\0';
  return block + sizeof prefix;
#endif
}

Bstr text(const std::string& value) {
  return makeString(value.c_str(), static_cast<unsigned>(value.size()));
}

}  // namespace

#if !defined(_WIN32)
FAKE_EXPORT Bstr SysAllocStringByteLen(const char* bytes, unsigned length) {
  return makeString(bytes, length);
}
FAKE_EXPORT void SysFreeString(Bstr value) {
  if (value) std::free(value - sizeof(std::uint32_t));
}
#endif

// Control.
FAKE_EXPORT void FakeReset() {
  FakeState& s = state();
  s = FakeState{};
  s.initialised = true;
  s.serials = {12345};
}
FAKE_EXPORT void FakeSetGauges(int count) {
  state().serials.clear();
  for (int i = 0; i < count; ++i) state().serials.push_back(12345 + i);
}
FAKE_EXPORT void FakeSetFailing(int index) { state().failing = index; }
FAKE_EXPORT void FakeSetSerial(int serial) {
  state().serialOverride = serial;
  state().serialOverridden = true;
}
FAKE_EXPORT void FakeSetFanSpeed(float value) { state().fanSpeed = value; }
// A null text makes GetQX5FirmwareVersion return a null string.
FAKE_EXPORT void FakeSetFirmware(const char* value) {
  state().firmwareNull = value == nullptr;
  state().firmware = value ? value : "";
}
// "12345,12346;12345;" : the serials the successive polls see; `onEnd` runs when the polls
// go past the end, which then keeps seeing the last entry.
FAKE_EXPORT void FakeSetScript(const char* script, void (*onEnd)()) {
  FakeState& s = state();
  s.script.clear();
  s.scriptPos = 0;
  s.onScriptEnd = onEnd;
  std::string all = script;
  std::size_t start = 0;
  while (start < all.size()) {
    std::size_t end = all.find(';', start);
    if (end == std::string::npos) end = all.size();
    std::vector<int> poll;
    std::string part = all.substr(start, end - start);
    for (std::size_t p = 0; p < part.size();) {
      std::size_t comma = part.find(',', p);
      if (comma == std::string::npos) comma = part.size();
      poll.push_back(std::atoi(part.substr(p, comma - p).c_str()));
      p = comma + 1;
    }
    s.script.push_back(poll);
    start = end + 1;
  }
}
FAKE_EXPORT void FakeSetReadings(const float* rooms, int roomCount, const float* fans,
                                 int fanCount) {
  FakeState& s = state();
  s.rooms.assign(rooms, rooms + roomCount);
  s.fans.assign(fans, fans + fanCount);
  s.roomPos = s.fanPos = 0;
}
// 1024 bytes, row 0 first; reading `failingRow` fails (-1: none).
FAKE_EXPORT void FakeSetLcd(const Byte* image, int failingRow) {
  std::memcpy(state().lcd, image, sizeof state().lcd);
  state().lcdFailingRow = failingRow;
}
// The calls logged since the last take.
FAKE_EXPORT const char* FakeTakeCalls() {
  static std::string taken;
  taken = state().calls;
  state().calls.clear();
  return taken.c_str();
}

// The library's exports.
FAKE_EXPORT Bstr GetErrorMessage() {
  std::string pending = state().errors;
  state().errors.clear();
  return text(pending);
}
FAKE_EXPORT Bstr GetQX5FirmwareVersion() {
  return state().firmwareNull ? nullptr : text(state().firmware);
}
FAKE_EXPORT Byte SetRoomPressure(float* value) {
  logCall("SetRoomPressure " + std::to_string(*value));
  return !currentFails();
}
FAKE_EXPORT Byte GetPressure(float* portA, float* portB) {
  if (currentFails()) return 0;
  FakeState& s = state();
  *portA = s.rooms.empty() ? 1.5f : next(s.rooms, s.roomPos);
  *portB = 2.5f;
  return 1;
}
FAKE_EXPORT Byte GetPressureFaster(float* portA, float* portB) { return GetPressure(portA, portB); }
FAKE_EXPORT float GetFanSpeed() {
  FakeState& s = state();
  return s.fans.empty() ? s.fanSpeed : next(s.fans, s.fanPos);
}
#ifndef FAKEQX5_WITHOUT_FAN_PERCENT
FAKE_EXPORT float GetFanSpeedPercent() {
  FakeState& s = state();
  return s.fans.empty() ? 25.0f : next(s.fans, s.fanPos);
}
#endif
FAKE_EXPORT Byte SetFanSpeed(float* value) {
  logCall("SetFanSpeed " + std::to_string(*value));
  return !currentFails();
}
FAKE_EXPORT int GetSerialNumber() {
  FakeState& s = state();
  if (s.serialOverridden) return s.serialOverride;
  if (s.current < 0 || s.current >= static_cast<int>(s.serials.size())) return -1;
  return s.serials[s.current];
}
FAKE_EXPORT Byte SetSerialNumber(int* value) {
  logCall("SetSerialNumber " + std::to_string(*value));
  return 1;
}
FAKE_EXPORT int GetChipset() { return 4520; }
FAKE_EXPORT int GetDeviceCount() {
  FakeState& s = state();
  if (!s.script.empty()) {
    if (s.scriptPos >= s.script.size()) {
      if (s.onScriptEnd) s.onScriptEnd();
      s.serials = s.script.back();
    } else {
      s.serials = s.script[s.scriptPos++];
    }
  }
  return static_cast<int>(s.serials.size());
}
FAKE_EXPORT Byte UsbPort(Byte index) {
  FakeState& s = state();
  logCall("UsbPort " + std::to_string(index));
  if (index >= s.serials.size()) {
    s.errors += "no such gauge\n";
    s.current = 0;
    return 0;
  }
  s.current = index;
  return 1;
}
FAKE_EXPORT Byte PushButton(Byte value) {
  logCall("PushButton " + std::to_string(value));
  return 1;
}
FAKE_EXPORT Byte SetDevice(Byte value) {
  logCall("SetDevice " + std::to_string(value));
  return 1;
}
FAKE_EXPORT Byte SetRange(Byte value) {
  logCall("SetRange " + std::to_string(value));
  return !currentFails();
}
FAKE_EXPORT Bstr GetDeviceName() { return text("Pressure"); }
FAKE_EXPORT Bstr GetDeviceRange() { return text("1250 Pa"); }
FAKE_EXPORT Bstr GetDeviceRanges() { return text("1250 Pa,2500 Pa"); }
FAKE_EXPORT Byte LogInitToStdout(int level, const char* file, Byte toStdout) {
  logCall("LogInitToStdout " + std::to_string(level) + " " + (file ? file : "null") + " " +
          std::to_string(toStdout));
  return 1;
}
FAKE_EXPORT Bstr GetUSBCPUVersion() { return text("1.5"); }
FAKE_EXPORT Byte GetLcdRow(Byte row, Byte* buffer) {
  FakeState& s = state();
  if (row >= 64 || row == s.lcdFailingRow) {
    s.errors += "no such row\n";
    return 0;
  }
  std::memcpy(buffer, s.lcd[row], 16);
  return 1;
}
FAKE_EXPORT Byte UploadMemory(std::uint32_t, std::uint32_t count, Byte* buffer) {
  std::memset(buffer, 0xAB, count);
  return 1;
}
FAKE_EXPORT Byte EraseMemory(std::uint32_t address, std::uint32_t length) {
  logCall("EraseMemory " + std::to_string(address) + " " + std::to_string(length));
  return 1;
}
FAKE_EXPORT Byte DownloadMemory(std::uint32_t address, std::uint32_t count, Byte*) {
  logCall("DownloadMemory " + std::to_string(address) + " " + std::to_string(count));
  return 1;
}
FAKE_EXPORT Byte RunTest(std::uint32_t test, std::uint32_t, Byte*, std::uint32_t* length, Byte*) {
  logCall("RunTest " + std::to_string(test));
  *length = 0;
  return 1;
}
FAKE_EXPORT Byte DoBoot(Byte mode) {
  logCall("DoBoot " + std::to_string(mode));
  return 1;
}
FAKE_EXPORT Byte SetCustomDate(int year, int month, int day) {
  logCall("SetCustomDate " + std::to_string(year) + " " + std::to_string(month) + " " +
          std::to_string(day));
  return 1;
}

// Exports only the tests of the command line use.
FAKE_EXPORT float GetFlow() { return 12.25f; }
FAKE_EXPORT Bstr GetDLLVersion() { return text("2.2.0.18"); }
FAKE_EXPORT Byte ResetUSBCPU() { return 1; }
FAKE_EXPORT Byte SetDate() { return 0; }
FAKE_EXPORT Bstr GetCalibrationDate() { return text("2010-07-05"); }
FAKE_EXPORT Bstr TimeAverageMode() { return text("10s"); }
FAKE_EXPORT Byte SetCompanyName(Bstr* name) {
  std::uint32_t length = 0;
  std::memcpy(&length, *name - sizeof length, sizeof length);
  logCall("SetCompanyName " + std::string(*name) + " " + std::to_string(length));
  return 1;
}
// 100 ticks per second.
FAKE_EXPORT int GetQX5TickCount() {
  auto now = std::chrono::steady_clock::now().time_since_epoch();
  return static_cast<int>(std::chrono::duration_cast<std::chrono::milliseconds>(now).count() / 10);
}
