#include "qx5cmd/diagnostics/DisplayMessage.h"

#include <cstdio>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Session.h"
#include "qx5cmd/diagnostics/RequiredExports.h"
#include "qx5cmd/firmware/ShowOnGauge.h"

namespace qx5cmd {
namespace {

void show(int line, const std::string& text) {
  if (text.size() > kShowOnGaugeMaxChars)
    out("line %d cut to %zu characters: \"%s\"\n", line, kShowOnGaugeMaxChars,
        text.substr(0, kShowOnGaugeMaxChars).c_str());
  showOnGauge(binding().RunTest.get(), line, text);
}

}  // namespace

bool aDisplayMessage::bind() { return requireExports({{"RunTest", binding().RunTest.get()}}); }

bool aDisplayMessage::parseArgument(int index, bool& ok, bool& more, const std::string& text) {
  if (index > 1) {
    more = false;
    return false;
  }
  if (text.empty()) {
    ok = false;
    return false;
  }
  (index == 0 ? message1_ : message2_) = text;
  more = index == 0;
  return true;
}

bool aDisplayMessage::run() {
  show(1, message1_);
  show(2, message2_);
  return true;
}

}  // namespace qx5cmd
