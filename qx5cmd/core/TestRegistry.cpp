#include "qx5cmd/core/TestRegistry.h"

#include <cstdlib>

#include "qx5cmd/core/Session.h"
#include "qx5cmd/core/Text.h"

namespace qx5cmd {

bool aTest::parseArgument(int, bool& ok, bool& more, const std::string&) {
  ok = true;
  more = false;
  return false;
}

void aTest::prepare(bool bindTest) {
  bound = bindTest && bind();
  displayName = name;
  for (const std::string& argument : arguments) displayName += " " + argument;
  successTimes = &stats().times(displayName);
  failedName = "failed " + displayName;
  failureTimes = &stats().times(failedName);
}

std::unique_ptr<aTest> aTest::copy() const {
  std::unique_ptr<aTest> twin = clone();
  twin->arguments = arguments;
  Session& s = session();
  const bool quiet = s.quietArguments;
  s.quietArguments = true;
  bool ok = true, more = true;
  for (std::size_t i = 0; i < arguments.size() && more; ++i) {
    if (!twin->parseArgument(static_cast<int>(i), ok, more, arguments[i])) break;
  }
  s.quietArguments = quiet;
  twin->copyParsedState(*this);
  return twin;
}

void TestRegistry::add(std::unique_ptr<aTest> prototype) { tests_.push_back(std::move(prototype)); }

const aTest* TestRegistry::find(const std::string& word) const {
  for (const auto& test : tests_) {
    if (equalsIgnoreCase(test->name, word)) return test.get();
  }
  return nullptr;
}

bool developerUser() {
  const char* user = std::getenv("USERNAME");
  return user && equalsIgnoreCase(user, "QUILL");
}

void registerRows(TestRegistry& registry, std::span<const TestRow> rows) {
  const bool developer = developerUser();
  for (const TestRow& row : rows)
    if (!row.developerOnly || developer) registry.add(row.make(row.name, row.description));
}

}  // namespace qx5cmd
