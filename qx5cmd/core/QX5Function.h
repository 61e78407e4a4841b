// Timed wrappers around the library's exports. Each call times the export into the statistic
// named like the export (success) or "failed " + name (failure), and the getters record what
// they got. Two wrappers of one export share all their statistics.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qx5cmd/core/ExportTypes.h"
#include "qx5cmd/core/Stats.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {

class LibraryBinding;

class TimedFunction {
 public:
  explicit TimedFunction(const std::string& name);
  virtual ~TimedFunction() = default;

  const std::string& name() const { return name_; }
  StatsTimes& successTimes() const { return *successTimes_; }
  StatsTimes& failureTimes() const { return *failureTimes_; }

 protected:
  // One counter reading serves both starts: it is the one taken closest to the call.
  void startTiming() {
    std::int64_t now = platform::performanceCounter();
    successTimes_->startAt(now);
    failureTimes_->startAt(now);
  }
  void finishTiming(bool success) {
    if (success) {
      successTimes_->stop();
      failureTimes_->clear();
    } else {
      failureTimes_->stop();
      successTimes_->clear();
    }
  }

 private:
  std::string name_;
  StatsTimes* successTimes_;
  StatsTimes* failureTimes_;
};

class QX5Function : public TimedFunction {
 public:
  QX5Function(const std::string& name, const LibraryBinding& owner);

  // Never true for a wrapper made by bindFunction; a wrapper without an export fails every
  // call without calling anything.
  bool bound() const { return entry_ != nullptr; }
  const LibraryBinding& owner() const { return owner_; }

 protected:
  template <class Fn, class Judge, class... Args>
  auto timedCall(Judge isSuccess, Args... args) {
    startTiming();
    auto result = twin_ ? reinterpret_cast<TwinFn<Fn>>(entry_)(gauge(), args...)
                        : reinterpret_cast<Fn>(entry_)(args...);
    finishTiming(isSuccess(result));
    return result;
  }
  // Calls an export that answers a BOOL; false, without a call, when unbound.
  template <class Fn, class... Args>
  bool succeeds(Args... args) {
    auto isTrue = [](ExportBool result) { return result != 0; };
    return bound() && isTrue(timedCall<Fn>(isTrue, args...));
  }

 private:
  GaugeHandle gauge() const;

  const LibraryBinding& owner_;
  void* entry_;
  bool twin_;  // the export's twin, called with the owner's handle first
};

class QX5GetString : public QX5Function {
 public:
  QX5GetString(const std::string& name, const LibraryBinding& owner);
  // The text, empty when the export gave none.
  std::string call();

 private:
  StatsStringValues& lastValue_;
};

class QX5GetBool : public QX5Function {
 public:
  QX5GetBool(const std::string& name, const LibraryBinding& owner);
  std::uint8_t call();

 private:
  StatsIntValues& value_;
};

class QX5GetInt : public QX5Function {
 public:
  QX5GetInt(const std::string& name, const LibraryBinding& owner);
  int call();  // -1 when the export failed

 private:
  StatsIntValues& value_;
};

class QX5GetFloat : public QX5Function {
 public:
  QX5GetFloat(const std::string& name, const LibraryBinding& owner);
  float call();  // -1.0 when the export failed

 private:
  StatsValues& value_;
};

class QX5GetPressure : public QX5Function {
 public:
  QX5GetPressure(const std::string& name, const LibraryBinding& owner);
  bool call(float* portA, float* portB);

 private:
  StatsValues& portA_;
  StatsValues& portB_;
};

class QX5SetByte : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(std::uint8_t value);
};

class QX5SetPInt : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(int value);  // the export gets the address of a copy
};

class QX5SetFloat : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(float value);  // the export gets the address of a copy
};

class QX5SetString : public QX5Function {
 public:
  using QX5Function::QX5Function;
  // The export gets the address of a library-made string holding the text and its zero byte.
  bool call(const std::string& text);
};

class QX5SetDate : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call();  // the fixed date 2001-02-28
};

class QX5InitLogging : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(int level);  // standard output only, no file
};

class QX5EraseMemory : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(std::uint32_t address, std::uint32_t length);
};

class QX5UploadOrDownloadMemory : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(std::uint32_t address, std::uint32_t count, std::uint8_t* buffer);
};

class QX5RunTest : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(std::uint32_t test, std::uint32_t count, std::uint8_t* input,
            std::uint32_t* resultLength, std::uint8_t* result);
};

class QX5GetLcdRow : public QX5Function {
 public:
  using QX5Function::QX5Function;
  bool call(std::uint8_t row, std::uint8_t* buffer16);
};

}  // namespace qx5cmd
