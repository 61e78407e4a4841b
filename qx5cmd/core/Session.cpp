#include "qx5cmd/core/Session.h"

#include <cstdio>
#include <cstdlib>
#include <string>

#include "qx5cmd/core/Console.h"
#include "qx5cmd/core/LibraryBinding.h"
#include "qx5cmd/core/Text.h"
#include "qx5cmd/platform/BreakSignal.h"
#include "qx5cmd/platform/Platform.h"

namespace qx5cmd {

Session& session() {
  static Session state;
  Session* worker = SessionScope::installed();
  return worker ? *worker : state;
}

LibraryBinding& binding() {
  if (!session().binding) {
    std::fprintf(stderr, "%s: the library binding is used before it was created\n",
                 session().programName.c_str());
    std::abort();
  }
  return *session().binding;
}

std::string linePrefix(const std::string& text) {
  const Session& s = session();
  std::string prefix;
  if (s.options.loops != 1) {
    int width = static_cast<int>(std::to_string(s.options.loops - 1).size());
    prefix = format("%*d ", width, s.loopIndex + 1);
  }
  if (!s.workerTag.empty()) {
    prefix += s.workerTag;
  } else if (s.gaugeCount > 1) {
    prefix += format("[%d] ", s.gaugeIndex);
  }
  return prefix + text;
}

void printLine(const std::string& label, const std::string& value) {
  out("%-25s%s\n", label.c_str(), value.c_str());
}

void printResult(const std::string& label, const std::string& value) {
  printLine(linePrefix(label), value);
}

bool sleepUnlessBreak(int milliseconds) {
  if (breakRequested()) return false;
  if (milliseconds <= 0) return true;
  while (milliseconds > 1000) {
    session().sleep(1000);
    if (breakRequested()) return false;
    milliseconds -= 1000;
  }
  session().sleep(milliseconds);
  return !breakRequested();
}

bool interCallDelay() { return sleepUnlessBreak(session().options.delayMs); }

void printLibraryError() {
  LibraryBinding* library = session().binding;
  if (!library || !library->GetErrorMessage) return;
  std::string text = library->GetErrorMessage->call();
  if (!text.empty()) out("ERROR:\n%s", text.c_str());
}

}  // namespace qx5cmd
