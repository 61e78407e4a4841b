// A test: a named operation run against the selected gauge. Prototypes live in the registry;
// each appearance on the command line is a clone of one, holding its own arguments.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <vector>

#include "qx5cmd/core/Stats.h"

namespace qx5cmd {

class aTest {
 public:
  aTest(const char* name, const char* description, std::vector<std::string> argumentNames)
      : name(name), description(description), arguments(std::move(argumentNames)) {}
  virtual ~aTest() = default;

  // Gets ready to run, usually by binding the test's own export. A test that cannot be bound
  // has said why and is failed without being run.
  virtual bool bind() { return true; }
  // Offered a command-line word as argument `index`; true when the word is taken. Clears `ok`
  // to reject the command line and `more` when no further argument is wanted.
  virtual bool parseArgument(int index, bool& ok, bool& more, const std::string& text);
  virtual bool run() = 0;
  // A fresh instance of the same class with the same name, description and argument names.
  virtual std::unique_ptr<aTest> clone() const = 0;

  // Binds the test (unless told not to: it cannot be bound) and names its timings after its
  // display name.
  void prepare(bool bindTest = true);
  // The instance again, for another gauge run at the same time (-j): a clone that has taken the
  // same argument words, not yet prepared.
  std::unique_ptr<aTest> copy() const;

  const char* name;
  const char* description;
  std::string displayName;
  std::string failedName;
  std::vector<std::string> arguments;
  StatsTimes* successTimes = nullptr;
  StatsTimes* failureTimes = nullptr;
  bool bound = false;

 protected:
  // Carries over what parsing left beyond the instance's own words (values remembered from
  // earlier tests of the command line).
  virtual void copyParsedState(const aTest&) {}
};

// Supplies clone() for tests constructed from (name, description); Base is the test class that
// Derived refines (aTest unless it builds on another test).
template <class Derived, class Base = aTest>
class ClonableTest : public Base {
 public:
  using Base::Base;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<Derived>(this->name, this->description);
  }
};

class TestRegistry {
 public:
  void add(std::unique_ptr<aTest> prototype);
  // The first prototype whose name equals `word` without regard to case.
  const aTest* find(const std::string& word) const;
  const std::vector<std::unique_ptr<aTest>>& tests() const { return tests_; }

 private:
  std::vector<std::unique_ptr<aTest>> tests_;
};

using RunList = std::vector<std::unique_ptr<aTest>>;

// One step of filling the registry at start-up.
using RegistrationStep = void (*)(TestRegistry&);

// True for the user the developer-only tests are meant for.
bool developerUser();

// One row of a registration table: a test's name, its class and its usage description.
struct TestRow {
  const char* name;
  std::unique_ptr<aTest> (*make)(const char* name, const char* description);
  const char* description;
  bool developerOnly = false;
};

template <class T>
std::unique_ptr<aTest> makeTest(const char* name, const char* description) {
  return std::make_unique<T>(name, description);
}

// Adds the rows in table order (the usage text's order); developer-only rows only for the
// developer user.
void registerRows(TestRegistry& registry, std::span<const TestRow> rows);

}  // namespace qx5cmd
