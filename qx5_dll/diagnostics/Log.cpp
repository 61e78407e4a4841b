#include "qx5_dll/diagnostics/Log.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <system_error>

#include "qx5_dll/diagnostics/LogFiles.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/platform/LocalTime.h"
#include "qx5_dll/platform/ThreadId.h"

namespace qx5 {
namespace {

constexpr const char* kLevelNames[] = {"CRITICAL ", "ERROR    ", "WARNING  ", "INFO     ",
                                       "FIRST    ", "TERSE    ", "SEVEN    ", "DEBUG    ",
                                       "TRACE    ", "ALL      "};
constexpr std::size_t kDeviceTagCapacity = 2049;  // 2048 characters and the terminator
constexpr std::size_t kPlatformTextLimit = 1024;

int clampLevel(int level) { return level < kLogCritical || level > kLogAll ? kLogCritical : level; }

const char* shortName(const char* name) {
  const char* colon = std::strrchr(name, ':');
  return colon ? colon + 1 : name;
}

std::string vformat(const char* format, va_list args) {
  char small[512];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return {};
  if (static_cast<std::size_t>(n) < sizeof small) return std::string(small, n);
  std::string text(static_cast<std::size_t>(n), '\0');
  std::vsnprintf(text.data(), text.size() + 1, format, args);
  return text;
}

std::string format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
std::string format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::string text = vformat(fmt, args);
  va_end(args);
  return text;
}

// The collected error lines; appends beyond 2047 characters are dropped.
class ErrorTextBuffer {
 public:
  void clear() {
    length_ = 0;
    text_[0] = '\0';
  }
  void append(std::string_view part) {
    const std::size_t room = kErrorTextCapacity - 1 - length_;
    const std::size_t n = part.size() < room ? part.size() : room;
    std::memcpy(text_ + length_, part.data(), n);
    length_ += n;
    text_[length_] = '\0';
  }
  std::string str() const { return std::string(text_, length_); }

 private:
  char text_[kErrorTextCapacity] = "";
  std::size_t length_ = 0;
};

}  // namespace

// Process-wide log state. Atomics only keep a second thread's look at the chain well defined;
// the library still serves one caller at a time and takes no locks.
struct LogState {
  std::atomic<int> level{kLogOff};
  bool toFile = false;
  bool toStdout = false;
  std::string fileBase;
  std::string fileExtension;
  char deviceTag[kDeviceTagCapacity] = "";
  ErrorTextBuffer errors;
  std::atomic<LogFunction*> current{nullptr};
  std::atomic<unsigned> owner{0};
  std::atomic<bool> outermostFirstCall{false};

  bool passes(int lineLevel) const {
    return clampLevel(lineLevel) <= level.load(std::memory_order_relaxed);
  }

  // " Outer  Inner" on the owning thread; the full name for another thread's scope.
  static void appendStack(std::string& text, const LogFunction& scope) {
    if (!scope.onOwnerThread_) {
      text += scope.name_;
      return;
    }
    if (scope.parent_) {
      appendStack(text, *scope.parent_);
      text += "  ";
    } else {
      text += ' ';
    }
    text += shortName(scope.name_);
  }
  // The stack text followed by `tail` (appended in place: GCC 12 misreads string + literal).
  static std::string stackText(const LogFunction& scope, const char* tail = "") {
    std::string text;
    appendStack(text, scope);
    text += tail;
    return text;
  }
  static const char* outermostShortName(const LogFunction& scope) {
    if (!scope.onOwnerThread_) return scope.name_;
    const LogFunction* root = &scope;
    while (root->parent_) root = root->parent_;
    return shortName(root->name_);
  }
  static int detailLevel(const LogFunction& scope);
  static void errorLine(const LogFunction& scope, const std::string& message);

  void writeLine(int lineLevel, std::string_view prefix, std::string_view message);
};

constinit LogState gLog;

namespace {

void writeTo(std::FILE* out, const char* header, std::string_view prefix,
             std::string_view message) {
  std::fputs(header, out);
  if (!prefix.empty()) std::fwrite(prefix.data(), 1, prefix.size(), out);
  if (!message.empty()) std::fwrite(message.data(), 1, message.size(), out);
  std::fputc('\n', out);
}

}  // namespace

// The line writer: the file (opened and closed for every line, rotating at 1 MiB) and/or
// standard output. The tag and the prefix are inserted as text, never used as formats.
void LogState::writeLine(int lineLevel, std::string_view prefix, std::string_view message) {
  lineLevel = clampLevel(lineLevel);
  if (lineLevel > level.load(std::memory_order_relaxed)) return;
  const char* levelName = kLevelNames[lineLevel - 1];
  const platform::LocalTime t = platform::localTimeNow();
  char header[kDeviceTagCapacity + 64];
  if (toFile) {
    if (std::FILE* file = OpenLogFile(kLogFileLimit)) {
      std::snprintf(header, sizeof header, "%04d/%02d/%02d %02d:%02d:%02d.%03d %s %s", t.year,
                    t.month, t.day, t.hour, t.minute, t.second, t.millisecond, levelName,
                    deviceTag);
      writeTo(file, header, prefix, message);
      std::fclose(file);
    }
  }
  if (toStdout) {
    std::snprintf(header, sizeof header, "%02d:%02d:%02d.%03d %s %s", t.hour, t.minute, t.second,
                  t.millisecond, levelName, deviceTag);
    writeTo(stdout, header, prefix, message);
  }
}

// Follows the outermost call whichever thread writes the line (unlike the scope level test).
int LogState::detailLevel(const LogFunction&) {
  return gLog.outermostFirstCall.load(std::memory_order_relaxed) ? kLogFirst : kLogDebug;
}

void LogState::errorLine(const LogFunction& scope, const std::string& message) {
  gLog.errors.append(gLog.deviceTag);
  gLog.errors.append(" ");
  gLog.errors.append(outermostShortName(scope));
  gLog.errors.append(" ");
  gLog.errors.append(message);
  gLog.errors.append("\n");
  if (gLog.passes(kLogError)) gLog.writeLine(kLogError, stackText(scope, " "), message);
}

// ---- files ----

void SetLogFileName(const char* name) {
  const std::string text = name ? name : "";
  std::size_t dot = std::string::npos;
  for (std::size_t i = text.size(); i-- > 1;) {
    const char c = text[i];
    if (c == '.') {
      dot = i;
      break;
    }
    if (c == '/' || c == '\\' || c == ':') break;
  }
  if (dot == std::string::npos) {
    gLog.fileBase = text;
    gLog.fileExtension = ".log";
  } else {
    gLog.fileBase = text.substr(0, dot);
    gLog.fileExtension = text.substr(dot);
  }
}

std::string LogFileTemplate() {
  return gLog.fileBase.empty() ? std::string() : gLog.fileBase + "_%d" + gLog.fileExtension;
}

std::string LogFileName(int n) {
  return gLog.fileBase + "_" + std::to_string(n) + gLog.fileExtension;
}

std::FILE* OpenLogFile(std::uintmax_t limit) {
  if (gLog.fileBase.empty()) return nullptr;
  namespace fs = std::filesystem;
  const std::string current = LogFileName(0);
  std::error_code error;
  const std::uintmax_t size = fs::file_size(current, error);
  if (!error && size >= limit) {
    for (int n = kLogFilesKept - 2; n >= 0; --n) {
      fs::remove(LogFileName(n + 1), error);
      fs::rename(LogFileName(n), LogFileName(n + 1), error);
    }
  }
  std::FILE* file = std::fopen(current.c_str(), "a");
  errno = 0;
  return file;
}

// ---- library-wide operations ----

bool logInit(int level, const char* file, bool toStdout) {
  gLog.toStdout = toStdout;
  gLog.deviceTag[0] = '\0';
  gLog.errors.clear();
  gLog.level.store(level, std::memory_order_relaxed);
  if (file && *file) {
    gLog.toFile = true;
    SetLogFileName(file);
    std::FILE* opened = OpenLogFile(0);
    if (!opened) {
      LogPrint(kLogError, "logInit '%s' can not be open.\n", file);
      return false;
    }
    std::fclose(opened);
  } else {
    gLog.toFile = false;
    gLog.fileBase.clear();
    gLog.fileExtension.clear();
  }
  LogPrint(kLogDebug, "logInit '%s' open for level %d.\n", file ? file : "", level);
  return true;
}

void logStop() {
  LogPrint(kLogInfo, "Logfile closed.");
  gLog.level.store(kLogOff, std::memory_order_relaxed);
}

int logLevel() { return gLog.level.load(std::memory_order_relaxed); }

bool IsLogLevelEnabled(int level) {
  if (level < kLogWarning) return true;
  return gLog.passes(level);
}

void LogPrint(int level, const char* fmt, ...) {
  if (!gLog.passes(level)) return;
  va_list args;
  va_start(args, fmt);
  const std::string message = vformat(fmt, args);
  va_end(args);
  gLog.writeLine(level, {}, message);
}

void SetLogDeviceTag(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(gLog.deviceTag, sizeof gLog.deviceTag, fmt, args);
  va_end(args);
}

std::string ErrorText() { return gLog.errors.str(); }

std::string TakeErrorText() {
  std::string text = gLog.errors.str();
  gLog.errors.clear();
  return text;
}

// ---- scopes ----

LogFunction::LogFunction(unsigned char* firstCallMark, const char* name, const char* entryFormat,
                         ...)
    : threadId_(platform::currentThreadId()), firstCallMark_(firstCallMark), name_(name) {
  if (!name_) name_ = "";
  const bool firstCall = firstCallMark_ && *firstCallMark_;
  if (firstCallMark_) *firstCallMark_ = 0;

  LogFunction* const current = gLog.current.load(std::memory_order_acquire);
  int level;
  std::string built;  // the prefixes made of text
  std::string_view prefix;
  if (!current) {
    gLog.errors.clear();
    gLog.owner.store(threadId_, std::memory_order_relaxed);
    gLog.outermostFirstCall.store(firstCall, std::memory_order_relaxed);
    gLog.current.store(this, std::memory_order_release);
    level = firstCall ? kLogFirst : kLogTrace;
    if (!gLog.passes(level)) return;
    prefix = ">";
  } else if (gLog.owner.load(std::memory_order_relaxed) == threadId_) {
    parent_ = current;
    gLog.current.store(this, std::memory_order_release);
    level = gLog.outermostFirstCall.load(std::memory_order_relaxed) ? kLogFirst : kLogTrace;
    if (!gLog.passes(level)) return;
    built = LogState::stackText(*parent_, "->");
    prefix = built;
  } else {
    onOwnerThread_ = false;
    level = kLogInfo;
    if (!gLog.passes(level)) return;
    built = format("second thread(%08x) entering", threadId_);
    prefix = built;
  }
  va_list args;
  va_start(args, entryFormat);
  const std::string message = vformat(entryFormat ? entryFormat : "", args);
  va_end(args);
  gLog.writeLine(level, prefix, message);
}

LogFunction::~LogFunction() {
  if (!onOwnerThread_) {
    LogPrint(kLogInfo, "thread %08x exiting %s", threadId_, name_);
    return;
  }
  const int level = gLog.outermostFirstCall.load(std::memory_order_relaxed) ? kLogFirst : kLogTrace;
  if (gLog.passes(level)) {
    std::string line = parent_ ? LogState::stackText(*parent_, "<-").append(shortName(name_))
                               : format("<%s", shortName(name_));
    gLog.writeLine(level, {}, line);
  }
  gLog.current.store(parent_, std::memory_order_release);
}

void LogFunction::Detail(const char* fmt, ...) {
  const int level = LogState::detailLevel(*this);
  if (!gLog.passes(level)) return;
  va_list args;
  va_start(args, fmt);
  const std::string message = vformat(fmt, args);
  va_end(args);
  gLog.writeLine(level, LogState::stackText(*this, " "), message);
}

void LogFunction::Info(const char* fmt, ...) {
  if (!gLog.passes(kLogInfo)) return;
  va_list args;
  va_start(args, fmt);
  const std::string message = vformat(fmt, args);
  va_end(args);
  gLog.writeLine(kLogInfo, LogState::stackText(*this, " "), message);
}

void LogFunction::Error(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const std::string message = vformat(fmt, args);
  va_end(args);
  LogState::errorLine(*this, message);
}

void LogFunction::ErrorWithCode(int code, const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  const std::string message = vformat(fmt, args);
  va_end(args);
  LogState::errorLine(*this, message);
  if (code == 0) return;
  std::string text = platform::errorText(code);
  if (text.size() >= kPlatformTextLimit) text.resize(kPlatformTextLimit - 1);
  for (int i = 0; i < 2 && !text.empty() && static_cast<unsigned char>(text.back()) < 0x20; ++i)
    text.pop_back();
  gLog.errors.append(format("Error=%d \"", code));
  gLog.errors.append(text);
  gLog.errors.append("\"\n");
  LogPrint(kLogError, "%s - GetLastError=%d msg=\"%s\"", LogState::stackText(*this).c_str(), code,
           text.c_str());
}

bool LogFunction::IsEnabled(int level) const {
  if (onOwnerThread_ && gLog.outermostFirstCall.load(std::memory_order_relaxed) &&
      gLog.level.load(std::memory_order_relaxed) >= kLogFirst)
    return true;
  return IsLogLevelEnabled(level);
}

void reportException(LogFunction& scope) {
  try {
    throw;
  } catch (const std::exception& e) {
    scope.Error("exception: %s", e.what());
  } catch (...) {
    scope.Error("exception");
  }
}

}  // namespace qx5
