#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <string>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Processes.h"

namespace qx5 {
namespace {

// A child that maps the program file of `sleep`, named in the guard by its base name.
struct SleepingChild {
  SleepingChild() {
    char* argv[] = {const_cast<char*>("sleep"), const_cast<char*>("30"), nullptr};
    posix_spawnp(&pid, "sleep", nullptr, nullptr, argv, environ);
    // Until exec has happened the child maps this program, not sleep.
    for (int i = 0; i < 500 && platform::executableBaseName(pid) != "sleep"; ++i) usleep(10000);
  }
  ~SleepingChild() {
    kill(pid, SIGKILL);
    waitpid(pid, nullptr, 0);
  }
  pid_t pid = 0;
};

TEST(ProcessGuard, CountsOtherProcessesByMappedFileNameAndNamesThem) {
  SleepingChild child;
  ASSERT_EQ(platform::executableBaseName(child.pid), "sleep");
  QX5_LOG_SCOPE(scope, "Outer", "Outer");
  EXPECT_GE(CountQX5DLL("bin/sleep"), 1);
  EXPECT_NE(ErrorText().find("qx5dll.dll is being used by process " + std::to_string(child.pid) +
                             " \"sleep\""),
            std::string::npos)
      << ErrorText();
}

TEST(ProcessGuard, MatchIsCaseSensitive) {
  SleepingChild child;
  QX5_LOG_SCOPE(scope, "Outer", "Outer");
  CountQX5DLL("BIN/SLEEP");
  EXPECT_EQ(ErrorText().find(std::to_string(child.pid)), std::string::npos);
}

}  // namespace
}  // namespace qx5
