// Small tests for exercising the command line and the loops without the real test classes.
#pragma once

#include <string>
#include <vector>

#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd::testing {

// Prints "<displayName> ran" and succeeds unless the current gauge's pressure reading fails.
class aProbe : public ClonableTest<aProbe> {
 public:
  aProbe(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override {
    float a = 0, b = 0;
    bool ok = binding().GetPressure->call(&a, &b);
    printResult(displayName, ok ? "ran" : "failed");
    return ok;
  }
};

// Takes up to two numeric arguments, refusing (without rejecting the line) a word that is not
// a number, and rejecting the line on "bad".
class aTwoNumbers : public ClonableTest<aTwoNumbers> {
 public:
  aTwoNumbers(const char* name, const char* description)
      : ClonableTest(name, description, {"first", "second"}) {}
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override {
    offered.push_back(text);
    if (text == "bad") {
      ok = false;
      return false;
    }
    if (text.empty() || text.find_first_not_of("0123456789") != std::string::npos) return false;
    more = index < 1;
    return true;
  }
  bool run() override { return true; }
  static inline std::vector<std::string> offered;
};

inline void registerProbes(TestRegistry& registry) {
  for (const char* name : {"GetQX5FirmwareVersion", "GetDeviceName", "GetDeviceRange",
                           "GetDeviceRanges", "GetCalibrationDate", "GetPressure"}) {
    registry.add(std::make_unique<aProbe>(name, ""));
  }
  registry.add(std::make_unique<aTwoNumbers>("Pair", "takes two numbers"));
}

}  // namespace qx5cmd::testing
