// fix_dates: puts the fixed calibration date and serial number of the factory's test gauge back.
#pragma once

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

inline constexpr int kFixedSerialNumber = 234567;

class aFixDates : public ClonableTest<aFixDates> {
 public:
  aFixDates(const char* name, const char* description) : ClonableTest(name, description, {}) {}
  bool bind() override;
  // Succeeds whatever the gauge answers: a refusal shows in the library's error text.
  bool run() override;
};

}  // namespace qx5cmd
