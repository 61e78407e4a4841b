// Tests that each call one export named like the test: getters print what they get, setters
// pass their one argument. Plus Wait (pause) and TickRate (the gauge's tick counter rate).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Test.h"

namespace qx5cmd {

// Number conversions of test arguments: the whole text must be used; the empty text is 0.
// Integers must fit 32 bits.
bool parseInteger(const std::string& text, long& value);
bool parseFloat(const std::string& text, float& value);

// A test bound to its own wrapper of class W for the export named like the test.
template <class W>
class aOwnExportTest : public aTest {
 public:
  using aTest::aTest;
  bool bind() override;

 protected:
  std::unique_ptr<W> function_;
};

class aGetInt : public ClonableTest<aGetInt, aOwnExportTest<QX5GetInt>> {
 public:
  aGetInt(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

class aGetFloat : public ClonableTest<aGetFloat, aOwnExportTest<QX5GetFloat>> {
 public:
  aGetFloat(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

class aGetBool : public ClonableTest<aGetBool, aOwnExportTest<QX5GetBool>> {
 public:
  aGetBool(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  bool run() override;
};

class aGetString : public ClonableTest<aGetString, aOwnExportTest<QX5GetString>> {
 public:
  aGetString(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

class aGetPressure : public ClonableTest<aGetPressure, aOwnExportTest<QX5GetPressure>> {
 public:
  aGetPressure(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

// A test taking one number from the command line; `Message` names the kind of number in the
// complaint about a bad one.
template <class Derived, class Value>
class aNumberArgumentTest : public aTest {
 public:
  using aTest::aTest;
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;

 protected:
  Value value_{};
};

template <class W, class Derived, class Value>
class aSetterTest : public aNumberArgumentTest<Derived, Value> {
 public:
  using aNumberArgumentTest<Derived, Value>::aNumberArgumentTest;
  bool bind() override;
  bool run() override { return function_ && function_->call(this->value_); }

 protected:
  std::unique_ptr<W> function_;
};

class aSetByte : public ClonableTest<aSetByte, aSetterTest<QX5SetByte, aSetByte, std::uint8_t>> {
 public:
  static constexpr const char* kBadArgument = " bad integer argument '%s' to %s";
  static bool convert(const std::string& text, std::uint8_t& value);
  aSetByte(const char* name, const char* description) : ClonableTest(name, description, {"int"}) {}
  std::uint8_t value() const { return value_; }
};

class aSetPInt : public ClonableTest<aSetPInt, aSetterTest<QX5SetPInt, aSetPInt, int>> {
 public:
  static constexpr const char* kBadArgument = " bad integer argument '%s' to %s";
  static bool convert(const std::string& text, int& value);
  aSetPInt(const char* name, const char* description) : ClonableTest(name, description, {"int"}) {}
  int value() const { return value_; }
};

class aSetFloat : public ClonableTest<aSetFloat, aSetterTest<QX5SetFloat, aSetFloat, float>> {
 public:
  static constexpr const char* kBadArgument = " bad float argument '%s' to %s";
  static bool convert(const std::string& text, float& value) { return parseFloat(text, value); }
  aSetFloat(const char* name, const char* description)
      : ClonableTest(name, description, {"float"}) {}
  float value() const { return value_; }
};

class aSetString : public ClonableTest<aSetString, aOwnExportTest<QX5SetString>> {
 public:
  aSetString(const char* name, const char* description)
      : ClonableTest(name, description, {"string"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  bool run() override;
  const std::string& value() const { return value_; }

 private:
  std::string value_;
};

class aWait : public ClonableTest<aWait, aNumberArgumentTest<aWait, float>> {
 public:
  static constexpr const char* kBadArgument = " bad seconds argument '%s' to %s";
  static bool convert(const std::string& text, float& value) { return parseFloat(text, value); }
  aWait(const char* name, const char* description) : ClonableTest(name, description, {"seconds"}) {}
  bool run() override;
  float value() const { return value_; }
};

class aTickRate : public ClonableTest<aTickRate, aNumberArgumentTest<aTickRate, float>> {
 public:
  static constexpr const char* kBadArgument = " bad duration argument '%s' to %s";
  static bool convert(const std::string& text, float& value) { return parseFloat(text, value); }
  aTickRate(const char* name, const char* description)
      : ClonableTest(name, description, {"duration"}) {}
  bool bind() override;
  bool run() override;
  float value() const { return value_; }

 private:
  std::unique_ptr<QX5GetInt> tickCount_;
};

// The four report lines of TickRate from the gauge's counter readings t0, t1 and the system's
// millisecond readings g0, g1; a zero interval or rate yields "n/a" instead of a division by
// zero. Both differences wrap as their 32-bit counters do; the gauge's is signed, so a failed
// reading (-1) shows as a negative count rather than as four billion ticks.
std::string tickRateReport(int t0, int t1, std::uint32_t g0, std::uint32_t g1);

}  // namespace qx5cmd
