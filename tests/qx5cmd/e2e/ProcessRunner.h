// Runs a program in a process of its own with extra environment variables, capturing its
// standard output and error, optionally sending it a signal after a delay.
#pragma once

#include <functional>
#include <map>
#include <string>
#include <vector>

namespace qx5cmd::testing {

struct ProcessResult {
  int exitStatus = -1;  // the low 8 bits the process returned; -1 when it did not exit
  std::string out;
  std::string err;
  double seconds = 0;      // from start to exit
  double afterSignal = 0;  // from the signal to exit
};

struct ProcessOptions {
  std::map<std::string, std::string> environment;  // added to ours; "" removes a variable
  // Sent once, no sooner than `signalAfterMs` after the start and once standard output holds
  // `signalAfterOutput`.
  int signal = 0;
  int signalAfterMs = 0;
  std::string signalAfterOutput;
  int timeoutMs = 30000;         // killed after this
  std::string workingDirectory;  // empty: ours
};

// Runs `body` in a forked copy of this process; its return value is the exit status.
ProcessResult runInChild(const std::function<int()>& body, const ProcessOptions& options = {});

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options = {});

}  // namespace qx5cmd::testing
