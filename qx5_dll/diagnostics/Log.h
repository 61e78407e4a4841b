// The library's trace log: ten levels, scoped entry/exit lines, detail/info/error lines, the
// error text that GetErrorMessage hands out, the device tag, and rotating log files.
// Process-wide state, no locks: the library serves one caller thread at a time and only marks
// a call from a second thread.
#pragma once

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

// Plain level test: levels below 3 always pass (the writer still drops them when off).
bool IsLogLevelEnabled(int level);
// A plain line: no stack text.
void LogPrint(int level, const char* format, ...) __attribute__((format(printf, 2, 3)));
// The tag glued in front of every message, e.g. "[0,1234]". At most 2048 characters.
void SetLogDeviceTag(const char* format, ...) __attribute__((format(printf, 1, 2)));

// The collected error lines of the most recent outermost call.
std::string ErrorText();
// Returns the error text and empties it (GetErrorMessage).
std::string TakeErrorText();

// Scope guard written at the top of every export and transport method. The first-call mark is a
// per-function static byte, 1 until the function's first scope has opened; the constructor
// clears it. Use QX5_LOG_SCOPE rather than declaring the mark by hand.
class LogFunction {
 public:
  LogFunction(unsigned char* firstCallMark, const char* name, const char* entryFormat, ...)
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
  // Scope level test: first calls on the owning thread open everything up to level 5.
  bool IsEnabled(int level) const;

  const char* name() const { return name_; }

 private:
  friend struct LogState;
  bool onOwnerThread_ = true;
  unsigned threadId_ = 0;
  LogFunction* parent_ = nullptr;
  unsigned char* firstCallMark_ = nullptr;
  const char* name_ = "";
};

// Call inside a catch block: the exception's text as an error line of `scope` ("exception: %s",
// or "exception" for anything that is not a std::exception).
void reportException(LogFunction& scope);

}  // namespace qx5

// QX5_LOG_SCOPE(scope, "SetRange", "SetRange %d", range): opens a scope with its own mark.
#define QX5_LOG_SCOPE(var, name, ...)       \
  static unsigned char var##FirstCall_ = 1; \
  ::qx5::LogFunction var(&var##FirstCall_, name, __VA_ARGS__)
