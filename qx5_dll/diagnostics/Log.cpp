// Provisional log facility so the transport and the frame can be built and tested; the full
// facility (line format, rotation, first-call levels, threads) replaces this file.
#include "qx5_dll/diagnostics/Log.h"

#include <cstdarg>
#include <cstdio>
#include <string>

#include "qx5_dll/platform/Errors.h"

namespace qx5 {

struct LogState {
  int level = kLogOff;
  std::string file;
  bool toStdout = false;
  std::string tag;
  std::string errorText;
  LogFunction* current = nullptr;
};

namespace {
LogState& state() {
  static LogState s;
  return s;
}

std::string vformat(const char* format, va_list args) {
  char buffer[4096];
  std::vsnprintf(buffer, sizeof buffer, format, args);
  return buffer;
}

void writeLine(int level, const std::string& text) {
  if (level < 1 || level > 10) level = 1;
  if (level > state().level) return;
  const std::string line = std::to_string(level) + " " + state().tag + " " + text + "\n";
  if (!state().file.empty()) {
    if (FILE* f = std::fopen(state().file.c_str(), "a")) {
      std::fputs(line.c_str(), f);
      std::fclose(f);
    }
  }
  if (state().toStdout) std::fputs(line.c_str(), stdout);
}

void appendError(const std::string& text) {
  std::string& e = state().errorText;
  if (e.size() + text.size() < kErrorTextCapacity) e += text;
}

const char* shortName(const char* name) {
  const char* colon = nullptr;
  for (const char* p = name; *p; ++p)
    if (*p == ':') colon = p;
  return colon ? colon + 1 : name;
}
}  // namespace

bool logInit(int level, const char* file, bool toStdout) {
  state().level = level;
  state().toStdout = toStdout;
  state().file = file ? file : "";
  state().tag.clear();
  state().errorText.clear();
  return true;
}
void logStop() {
  writeLine(4, "Logfile closed.");
  state().level = kLogOff;
}
int logLevel() { return state().level; }
bool IsLogLevelEnabled(int level) { return level < 3 || level <= state().level; }

void LogPrint(int level, const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeLine(level, vformat(format, args));
  va_end(args);
}

void SetLogDeviceTag(const char* format, ...) {
  va_list args;
  va_start(args, format);
  state().tag = vformat(format, args);
  va_end(args);
}

std::string ErrorText() { return state().errorText; }
std::string TakeErrorText() {
  std::string text;
  text.swap(state().errorText);
  return text;
}

LogFunction::LogFunction(unsigned char* firstCallMark, const char* name, const char* entryFormat,
                         ...)
    : firstCallMark_(firstCallMark), name_(name) {
  va_list args;
  va_start(args, entryFormat);
  const std::string entry = vformat(entryFormat, args);
  va_end(args);
  parent_ = state().current;
  if (!parent_) state().errorText.clear();
  state().current = this;
  writeLine(*firstCallMark_ ? 5 : 9, ">" + entry);
  *firstCallMark_ = 0;
}

LogFunction::~LogFunction() {
  writeLine(9, std::string("<") + shortName(name_));
  state().current = parent_;
}

void LogFunction::Detail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeLine(8, vformat(format, args));
  va_end(args);
}
void LogFunction::Info(const char* format, ...) {
  va_list args;
  va_start(args, format);
  writeLine(4, vformat(format, args));
  va_end(args);
}
void LogFunction::Error(const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = vformat(format, args);
  va_end(args);
  const LogFunction* outer = this;
  while (outer->parent_) outer = outer->parent_;
  appendError(state().tag + " " + shortName(outer->name_) + " " + message + "\n");
  writeLine(2, message);
}
void LogFunction::ErrorWithCode(int code, const char* format, ...) {
  va_list args;
  va_start(args, format);
  const std::string message = vformat(format, args);
  va_end(args);
  Error("%s", message.c_str());
  if (code)
    appendError("Error=" + std::to_string(code) + " \"" + platform::errorText(code) + "\"\n");
}
bool LogFunction::IsEnabled(int level) const { return IsLogLevelEnabled(level); }

}  // namespace qx5
