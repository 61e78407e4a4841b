// display_message: two lines of text from the command line on the gauge's display.
#pragma once

#include <string>

#include "qx5cmd/core/TestRegistry.h"

namespace qx5cmd {

class aDisplayMessage : public aTest {
 public:
  aDisplayMessage(const char* name, const char* description)
      : aTest(name, description, {"message1", "message2"}) {}
  bool bind() override;
  // Both messages are required and neither may be empty.
  bool parseArgument(int index, bool& ok, bool& more, const std::string& text) override;
  // Succeeds whatever the gauge answers: a refusal shows in the library's error text.
  bool run() override;
  std::unique_ptr<aTest> clone() const override {
    return std::make_unique<aDisplayMessage>(name, description);
  }

 private:
  std::string message1_;
  std::string message2_;
};

}  // namespace qx5cmd
