// Every exchange of the api suites runs under its gauge's lock, held by the thread that makes
// it: checked once the suite's tests have run, whichever of them ran.
#include <gtest/gtest.h>

#include "qx5_dll/transport/DeviceData.h"

namespace qx5::test {
namespace {

class EveryExchangeUnderItsGaugeLock : public ::testing::Environment {
 public:
  void TearDown() override {
    EXPECT_EQ(exchangesWithoutLock.load(), 0u)
        << "exchanges ran without their gauge's lock held by their thread";
  }
};

const auto* const kExchangeLockCheck =
    ::testing::AddGlobalTestEnvironment(new EveryExchangeUnderItsGaugeLock);

}  // namespace
}  // namespace qx5::test
