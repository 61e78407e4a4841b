#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <sstream>
#include <string>
#include <thread>

#include "qx5_dll/diagnostics/Log.h"
#include "qx5_dll/diagnostics/ProcessGuard.h"
#include "qx5_dll/platform/Processes.h"
#include "support/TempDir.h"

namespace qx5 {
namespace {

std::filesystem::path programOnPath(const std::string& name) {
  const char* path = std::getenv("PATH");
  std::istringstream folders(path ? path : "/usr/bin:/bin");
  for (std::string folder; std::getline(folders, folder, ':');) {
    const auto candidate = std::filesystem::path(folder) / name;
    if (access(candidate.c_str(), X_OK) == 0) return candidate;
  }
  return {};
}

// A child running a copy of `sleep` under a name no other process on the machine has (this
// process's id is part of it): the guard's count and error lines concern this child alone,
// whatever else runs on the machine.
class SleepingChild {
 public:
  SleepingChild() : name_("qx5guard_sleep_" + std::to_string(platform::currentProcessId())) {
    const auto copy = dir_.path() / name_;
    std::filesystem::copy_file(programOnPath("sleep"), copy);
    path_ = copy.string();
    char* argv[] = {path_.data(), const_cast<char*>("30"), nullptr};
    // A copy just written may still be busy for exec for a moment.
    for (int i = 0; i < 50; ++i) {
      const int error = posix_spawn(&pid_, path_.c_str(), nullptr, nullptr, argv, environ);
      if (error != ETXTBSY) break;
      pid_ = 0;
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    // Until exec has happened the child maps this program, not the copy.
    for (int i = 0; pid_ && i < 500 && !runsTheCopy(); ++i)
      std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  ~SleepingChild() {
    if (pid_ <= 0) return;
    kill(pid_, SIGKILL);
    waitpid(pid_, nullptr, 0);
  }
  SleepingChild(const SleepingChild&) = delete;
  SleepingChild& operator=(const SleepingChild&) = delete;

  bool runsTheCopy() const {
    if (platform::executableBaseName(pid_) != name_) return false;
    const auto paths = platform::mappedFilePaths(pid_);
    return paths && std::any_of(paths->begin(), paths->end(), [&](const std::string& path) {
             return std::filesystem::path(path).filename() == name_;
           });
  }
  int pid() const { return pid_; }
  const std::string& name() const { return name_; }

 private:
  test::TempDir dir_;
  std::string name_;
  std::string path_;
  pid_t pid_ = 0;
};

TEST(ProcessGuard, CountsOtherProcessesByMappedFileNameAndNamesThem) {
  SleepingChild child;
  ASSERT_TRUE(child.runsTheCopy());
  QX5_LOG_SCOPE(scope, "Outer", "Outer");
  EXPECT_EQ(CountQX5DLL(child.name()), 1);
  EXPECT_NE(ErrorText().find("qx5dll.dll is being used by process " + std::to_string(child.pid()) +
                             " \"" + child.name() + "\""),
            std::string::npos)
      << ErrorText();
}

TEST(ProcessGuard, MatchIsCaseSensitive) {
  SleepingChild child;
  ASSERT_TRUE(child.runsTheCopy());
  std::string upper = child.name();
  std::transform(upper.begin(), upper.end(), upper.begin(),
                 [](unsigned char c) { return static_cast<char>(std::toupper(c)); });
  QX5_LOG_SCOPE(scope, "Outer", "Outer");
  EXPECT_EQ(CountQX5DLL(upper), 0);
  EXPECT_EQ(ErrorText().find(std::to_string(child.pid())), std::string::npos);
}

}  // namespace
}  // namespace qx5
