// lcd: copies the gauge's display to the console as hex rows and to a bitmap file named after
// the gauge's serial number and the time.
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

class aGetLcd : public ClonableTest<aGetLcd> {
 public:
  aGetLcd(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool run() override;
};

}  // namespace qx5cmd
