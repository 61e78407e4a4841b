// Base for tests of registered tester tests: the stand-in session, the measurement tests
// registered, and a command line parsed and prepared as main does.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <optional>
#include <string>
#include <vector>

#include "qx5cmd/core/CommandLine.h"
#include "qx5cmd/exercises/Registration.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "support/EnvironmentVariable.h"

namespace qx5cmd::testing {

class RegisteredTestsTest : public FakeSessionTest {
 protected:
  void SetUp() override {
    FakeSessionTest::SetUp();
    clearBreakRequest();
    qx5::test::clearEnvironment("USERNAME");
  }
  void TearDown() override {
    clearBreakRequest();
    FakeSessionTest::TearDown();
  }

  // Parses "words" as a command line and prepares what it asked for; usage text in `errors`.
  std::optional<int> parse(std::vector<std::string> words) {
    words.insert(words.begin(), "qx5cmd");
    runList.clear();
    ::testing::internal::CaptureStderr();
    auto status = parseCommandLine(words, registry, session(), runList);
    for (auto& test : runList) test->prepare();
    errors = ::testing::internal::GetCapturedStderr();
    return status;
  }

  TestRegistry registry;
  RunList runList;
  std::string errors;
};

}  // namespace qx5cmd::testing
