// Tests that each call one export named like the test: getters print what they get, setters
// pass their one argument. Plus Wait (pause) and TickRate (the gauge's tick counter rate).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

// Number conversions of test arguments: the whole text must be used; the empty text (what a
// test ending the command line is offered) is 0. Integers must fit 32 bits.
bool parseInteger(const std::string& text, long& value);
bool parseFloat(const std::string& text, float& value);

// Says on standard error that `test` ended the command line without `what` and takes 0.
void warnMissingValue(const char* test, const char* what);

// Getters: each binds the export named like the test and prints what it returns.

class aGetInt : public ClonableTest<aGetInt> {
 public:
  aGetInt(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetInt> function_;
};

class aGetFloat : public ClonableTest<aGetFloat> {
 public:
  aGetFloat(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetFloat> function_;
};

class aGetBool : public ClonableTest<aGetBool> {
 public:
  aGetBool(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetBool> function_;
};

class aGetString : public ClonableTest<aGetString> {
 public:
  aGetString(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetString> function_;
};

// Fails when the export does, since a pressure read reports failure apart from its values.
class aGetPressure : public ClonableTest<aGetPressure> {
 public:
  aGetPressure(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetPressure> function_;
};

// Setters: each takes one argument from the command line (required: a setter ending the line
// is refused) and passes it to the export named like the test.

// Sends the low eight bits of a 32-bit integer.
class aSetByte : public ClonableTest<aSetByte> {
 public:
  aSetByte(const char* name, const char* description) : ClonableTest(name, description, {"int"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5SetByte> function_;
  std::uint8_t value_ = 0;
};

class aSetPInt : public ClonableTest<aSetPInt> {
 public:
  aSetPInt(const char* name, const char* description) : ClonableTest(name, description, {"int"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5SetPInt> function_;
  int value_ = 0;
};

class aSetFloat : public ClonableTest<aSetFloat> {
 public:
  aSetFloat(const char* name, const char* description)
      : ClonableTest(name, description, {"float"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5SetFloat> function_;
  float value_ = 0.0f;
};

// The empty text is refused: there is no name to send.
class aSetString : public ClonableTest<aSetString> {
 public:
  aSetString(const char* name, const char* description)
      : ClonableTest(name, description, {"string"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5SetString> function_;
  std::string value_;
};

// Pauses for the given seconds, in whole seconds rounded up, ending early on Ctrl+C.
class aWait : public ClonableTest<aWait> {
 public:
  aWait(const char* name, const char* description) : ClonableTest(name, description, {"seconds"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;

 private:
  float seconds_ = 0.0f;
};

// Reads the gauge's tick counter before and after the given seconds and reports its rate.
class aTickRate : public ClonableTest<aTickRate> {
 public:
  aTickRate(const char* name, const char* description)
      : ClonableTest(name, description, {"duration"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool bind() override;
  bool run() override;

 private:
  std::unique_ptr<QX5GetInt> tickCount_;
  float seconds_ = 0.0f;
};

// The four report lines of TickRate from the gauge's counter readings t0, t1 and the system's
// millisecond readings g0, g1; a zero interval or rate yields "n/a" instead of a division by
// zero. Both differences wrap as their 32-bit counters do; the gauge's is signed, so a failed
// reading (-1) shows as a negative count rather than as four billion ticks.
std::string tickRateReport(int t0, int t1, std::uint32_t g0, std::uint32_t g1);

}  // namespace qx5cmd
