// The library's trace log: ten levels, scoped entry/exit lines, detail/info/error lines, the
// error text that GetErrorMessage hands out, the device tag, and rotating log files.
// What describes a call is the calling thread's own: its scope chain, whether its outermost call
// is a first call, its error text and its device tag. What describes the output is shared: the
// level, the file settings and the line writer, which writes whole lines under one lock.
#pragma once

#include <atomic>
#include <string>

namespace qx5 {

enum LogLevel : int {
  kLogOff = -1,
  kLogCritical = 1,
  kLogError = 2,
  kLogWarning = 3,
  kLogInfo = 4,
  kLogFirst = 5,
  kLogTerse = 6,
  kLogSeven = 7,
  kLogDebug = 8,
  kLogTrace = 9,
  kLogAll = 10,
};

inline constexpr std::size_t kErrorTextCapacity = 2048;  // including the terminator

// Starts (or restarts) logging; a non-empty file rotates the current file away. False when the
// file cannot be opened (the settings stay, stdout still works).
bool logInit(int level, const char* file, bool toStdout);
// "Logfile closed." at level 4, then level -1. File settings stay.
void logStop();
int logLevel();

// A function's first-call mark: 1 until the function's first scope has opened. Threads making a
// first call at once race for it; exactly one of them sees the first call.
using FirstCallMark = std::atomic<unsigned char>;

// Plain level test: levels below 3 always pass (the writer still drops them when off).
bool IsLogLevelEnabled(int level);
// A plain line: no stack text.
void LogPrint(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The tag glued in front of every message the calling thread writes, e.g. "[0,1234]". At most
// 2048 characters. logInit empties the calling thread's tag.
void SetLogDeviceTag(const char* format, ...) __attribute__((format(printf, 1, 2)));
// The tag of a gauge: "[index,serial]", or "[index,?]" before its serial number is known.
void SetLogDeviceGauge(int index, int serial);

// The collected error lines of the calling thread's most recent outermost call.
std::string ErrorText();
// Returns the calling thread's error text and empties it (GetErrorMessage).
std::string TakeErrorText();

// Scope guard written at the top of every export and transport method; scopes nest per thread.
// The first-call mark is a per-function static FirstCallMark that the constructor clears. Use
// QX5_LOG_SCOPE rather than declaring the mark by hand.
class LogFunction {
 public:
  LogFunction(FirstCallMark* firstCallMark, const char* name, const char* entryFormat, ...)
      __attribute__((format(printf, 4, 5)));
  virtual ~LogFunction();
  LogFunction(const LogFunction&) = delete;
  LogFunction& operator=(const LogFunction&) = delete;

  // Level 8, or 5 while the outermost call is a first call.
  void Detail(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Level 4.
  void Info(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // Appended to the error text and written at level 2.
  void Error(const char* format, ...) __attribute__((format(printf, 2, 3)));
  // As Error, followed by the platform's message for `code` (when not zero).
  void ErrorWithCode(int code, const char* format, ...) __attribute__((format(printf, 3, 4)));
  // Scope level test: during a first call everything up to level 5 is open.
  bool IsEnabled(int level) const;

  const char* name() const { return name_; }

 private:
  friend struct LogState;
  LogFunction* parent_ = nullptr;  // the calling thread's enclosing scope
  const char* name_ = "";
};

// Call inside a catch block: the exception's text as an error line of `scope` ("exception: %s",
// or "exception" for anything that is not a std::exception).
void reportException(LogFunction& scope);

}  // namespace qx5

// QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range): opens a scope with its own mark.
#define QX5_LOG_SCOPE(var, name, ...)             \
  static ::qx5::FirstCallMark var##FirstCall_{1}; \
  ::qx5::LogFunction var(&var##FirstCall_, name, __VA_ARGS__)
