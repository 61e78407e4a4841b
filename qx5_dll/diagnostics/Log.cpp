#include "qx5_dll/diagnostics/Log.h"

#include <atomic>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <mutex>
#include <new>
#include <system_error>

#include "qx5_dll/diagnostics/LogFiles.h"
#include "qx5_dll/platform/Errors.h"
#include "qx5_dll/platform/LocalTime.h"

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

// The log. Per thread: the call being described (scope chain, first-call flag, error text, device
// tag). Shared: the level, and the output settings and writer under output().
struct LogState {
  struct Thread {
    LogFunction* current = nullptr;
    bool outermostFirstCall = false;
    ErrorTextBuffer errors;
    char deviceTag[kDeviceTagCapacity] = "";
    // A gauge's tag is written out only when a line or an error needs it: every call on a
    // gauge sets one, most write nothing.
    bool gaugeTagPending = false;
    int gaugeIndex = 0;
    int gaugeSerial = 0;
    const char* tag() {
      if (gaugeTagPending) {
        gaugeTagPending = false;
        if (gaugeSerial < 1)
          std::snprintf(deviceTag, sizeof deviceTag, "[%d,?]", gaugeIndex);
        else
          std::snprintf(deviceTag, sizeof deviceTag, "[%d,%d]", gaugeIndex, gaugeSerial);
      }
      return deviceTag;
    }
  };
  static thread_local Thread thread;

  std::atomic<int> level{kLogOff};
  // Under output(): the fields below, and every line written.
  bool toFile = false;
  bool toStdout = false;
  std::string fileBase;
  std::string fileExtension;

  bool passes(int lineLevel) const {
    return clampLevel(lineLevel) <= level.load(std::memory_order_relaxed);
  }
  static int scopeLevel() { return thread.outermostFirstCall ? kLogFirst : kLogTrace; }

  // " Outer  Inner": the scope and its enclosing scopes on the calling thread.
  static void appendStack(std::string& text, const LogFunction& scope) {
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
    const LogFunction* root = &scope;
    while (root->parent_) root = root->parent_;
    return shortName(root->name_);
  }
  static void errorLine(const LogFunction& scope, const std::string& message);

  // Made at its first use, so logging from other files' static constructors finds it (a mutex
  // is not a constant everywhere); never destroyed, for the last lines of static destructors;
  // and not on the heap, as the library may be unloaded and loaded again.
  static std::mutex& output() {
    alignas(std::mutex) static unsigned char storage[sizeof(std::mutex)];
    static std::mutex* const mutex = new (storage) std::mutex;
    return *mutex;
  }
  void writeLine(int lineLevel, std::string_view prefix, std::string_view message);
  static std::FILE* openFileLocked(std::uintmax_t limit);
};

constinit thread_local LogState::Thread LogState::thread;
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
// standard output, one whole line at a time. The tag and the prefix are inserted as text, never
// used as formats.
void LogState::writeLine(int lineLevel, std::string_view prefix, std::string_view message) {
  lineLevel = clampLevel(lineLevel);
  if (lineLevel > level.load(std::memory_order_relaxed)) return;
  const char* levelName = kLevelNames[lineLevel - 1];
  char header[kDeviceTagCapacity + 64];
  std::lock_guard lock(output());
  // Read under the lock, so the lines of a file come in the order of their times.
  const platform::LocalTime t = platform::localTimeNow();
  if (toFile) {
    if (std::FILE* file = openFileLocked(kLogFileLimit)) {
      std::snprintf(header, sizeof header, "%04d/%02d/%02d %02d:%02d:%02d.%03d %s %s", t.year,
                    t.month, t.day, t.hour, t.minute, t.second, t.millisecond, levelName,
                    thread.tag());
      writeTo(file, header, prefix, message);
      std::fclose(file);
    }
  }
  if (toStdout) {
    std::snprintf(header, sizeof header, "%02d:%02d:%02d.%03d %s %s", t.hour, t.minute, t.second,
                  t.millisecond, levelName, thread.tag());
    writeTo(stdout, header, prefix, message);
  }
}

void LogState::errorLine(const LogFunction& scope, const std::string& message) {
  ErrorTextBuffer& errors = thread.errors;
  errors.append(thread.tag());
  errors.append(" ");
  errors.append(outermostShortName(scope));
  errors.append(" ");
  errors.append(message);
  errors.append("\n");
  if (gLog.passes(kLogError)) gLog.writeLine(kLogError, stackText(scope, " "), message);
}

// ---- files ----

namespace {

// The file settings, under LogState::output().
void setFileNameLocked(const char* name) {
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

std::string fileNameLocked(int n) {
  return gLog.fileBase + "_" + std::to_string(n) + gLog.fileExtension;
}

}  // namespace

// Under output() (the line writer holds it).
std::FILE* LogState::openFileLocked(std::uintmax_t limit) {
  if (gLog.fileBase.empty()) return nullptr;
  namespace fs = std::filesystem;
  const std::string current = fileNameLocked(0);
  std::error_code error;
  const std::uintmax_t size = fs::file_size(current, error);
  if (!error && size >= limit) {
    for (int n = kLogFilesKept - 2; n >= 0; --n) {
      fs::remove(fileNameLocked(n + 1), error);
      fs::rename(fileNameLocked(n), fileNameLocked(n + 1), error);
    }
  }
  std::FILE* file = std::fopen(current.c_str(), "a");
  errno = 0;
  return file;
}

void SetLogFileName(const char* name) {
  std::lock_guard lock(LogState::output());
  setFileNameLocked(name);
}

std::string LogFileTemplate() {
  std::lock_guard lock(LogState::output());
  return gLog.fileBase.empty() ? std::string() : gLog.fileBase + "_%d" + gLog.fileExtension;
}

std::string LogFileName(int n) {
  std::lock_guard lock(LogState::output());
  return fileNameLocked(n);
}

std::FILE* OpenLogFile(std::uintmax_t limit) {
  std::lock_guard lock(LogState::output());
  return LogState::openFileLocked(limit);
}

// ---- library-wide operations ----

bool logInit(int level, const char* file, bool toStdout) {
  LogState::thread.deviceTag[0] = '\0';
  LogState::thread.gaugeTagPending = false;
  LogState::thread.errors.clear();
  bool opened = true;
  {
    std::lock_guard lock(LogState::output());
    gLog.toStdout = toStdout;
    gLog.level.store(level, std::memory_order_relaxed);
    if (file && *file) {
      gLog.toFile = true;
      setFileNameLocked(file);
      std::FILE* probe = LogState::openFileLocked(0);
      opened = probe != nullptr;
      if (probe) std::fclose(probe);
    } else {
      gLog.toFile = false;
      gLog.fileBase.clear();
      gLog.fileExtension.clear();
    }
  }
  if (!opened) {
    LogPrint(kLogError, "logInit '%s' can not be open.\n", file);
    return false;
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

void SetLogDeviceGauge(int index, int serial) {
  LogState::thread.gaugeTagPending = true;
  LogState::thread.gaugeIndex = index;
  LogState::thread.gaugeSerial = serial;
}

void SetLogDeviceTag(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  std::vsnprintf(LogState::thread.deviceTag, sizeof LogState::thread.deviceTag, fmt, args);
  LogState::thread.gaugeTagPending = false;
  va_end(args);
}

std::string ErrorText() { return LogState::thread.errors.str(); }

std::string TakeErrorText() {
  std::string text = LogState::thread.errors.str();
  LogState::thread.errors.clear();
  return text;
}

// ---- scopes ----

LogFunction::LogFunction(FirstCallMark* firstCallMark, const char* name, const char* entryFormat,
                         ...)
    : name_(name ? name : "") {
  // Whoever takes the mark's 1 makes the first call; the plain load spares later calls the write.
  const bool firstCall = firstCallMark && firstCallMark->load(std::memory_order_relaxed) &&
                         firstCallMark->exchange(0, std::memory_order_relaxed);
  LogState::Thread& thread = LogState::thread;
  parent_ = thread.current;
  thread.current = this;
  std::string built;  // the prefix of a nested scope
  std::string_view prefix;
  if (!parent_) {
    thread.errors.clear();
    thread.outermostFirstCall = firstCall;
    prefix = ">";
  }
  const int level = LogState::scopeLevel();
  if (!gLog.passes(level)) return;
  if (parent_) {
    built = LogState::stackText(*parent_, "->");
    prefix = built;
  }
  va_list args;
  va_start(args, entryFormat);
  const std::string message = vformat(entryFormat ? entryFormat : "", args);
  va_end(args);
  gLog.writeLine(level, prefix, message);
}

LogFunction::~LogFunction() {
  const int level = LogState::scopeLevel();
  if (gLog.passes(level)) {
    std::string line = parent_ ? LogState::stackText(*parent_, "<-").append(shortName(name_))
                               : format("<%s", shortName(name_));
    gLog.writeLine(level, {}, line);
  }
  LogState::thread.current = parent_;
}

void LogFunction::Detail(const char* fmt, ...) {
  const int level = LogState::thread.outermostFirstCall ? kLogFirst : kLogDebug;
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
  ErrorTextBuffer& errors = LogState::thread.errors;
  errors.append(format("Error=%d \"", code));
  errors.append(text);
  errors.append("\"\n");
  LogPrint(kLogError, "%s - GetLastError=%d msg=\"%s\"", LogState::stackText(*this).c_str(), code,
           text.c_str());
}

bool LogFunction::IsEnabled(int level) const {
  if (LogState::thread.outermostFirstCall &&
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
