// libqx5dll.so as applications see it: loaded with dlopen, in processes of its own.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>
#include <thread>

#include "support/PrivateLibraryCopy.h"

namespace {

const std::string kBin = QX5_BIN_DIR;
const std::string kLibrary = kBin + "/libqx5dll.so";

// Processes that talk to gauges load a copy of their own: the guard then counts the processes
// this test starts, not whatever else on the machine has libqx5dll.so loaded.
const std::string& library() { return qx5::test::privateLibrary(); }

std::string run(const std::string& command) {
  std::string output;
  FILE* pipe = popen(command.c_str(), "r");
  if (!pipe) return output;
  char buffer[4096];
  while (std::fgets(buffer, sizeof buffer, pipe)) output += buffer;
  pclose(pipe);
  return output;
}

std::string probe(const std::string& words) {
  return run("env -u QX5SIM -u QX5LOGFILE " + kBin + "/qx5_library_probe " + library() + " " +
             words);
}

std::set<std::string> tableSymbols() {
  std::ifstream table(std::string(QX5_SOURCE_DIR) + "/qx5_dll/api/export_table.txt");
  std::set<std::string> names;
  std::string line;
  while (std::getline(table, line)) {
    if (line.empty() || line[0] == '#') continue;
    std::istringstream fields(line);
    std::string ordinal, name, built, frame, linkage, symbol;
    fields >> ordinal >> name >> built >> frame >> linkage >> symbol;
    if (built == "yes") names.insert(linkage == "c++" ? symbol : name);
  }
  return names;
}

TEST(Library, ExportsExactlyTheBuiltEntriesOfTheTable) {
  std::istringstream listing(run("nm -D --defined-only --format=posix " + kLibrary));
  std::set<std::string> exported;
  std::string name, type;
  while (listing >> name >> type) {
    exported.insert(name);
    listing.ignore(1 << 20, '\n');
  }
  const std::set<std::string> expected = tableSymbols();
  EXPECT_TRUE(expected.count("_Z12GetMaxDevicev"));
  EXPECT_TRUE(expected.count("SysFreeString"));
  EXPECT_EQ(exported, expected);
}

TEST(Library, DoesNotLinkLibusb) {
  EXPECT_EQ(run("readelf -d " + kLibrary + " | grep NEEDED").find("libusb"), std::string::npos);
}

TEST(Library, WithoutGaugesCountsZeroAndCannotSelect) {
  EXPECT_EQ(probe("version count port0 error"),
            "version 2.2.0.18\ncount 0\nport 0 false\nerror \n");
}

bool mapsLibrary(pid_t pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  std::string text((std::istreambuf_iterator<char>(maps)), std::istreambuf_iterator<char>());
  return text.find(std::filesystem::path(library()).filename().string()) != std::string::npos;
}

TEST(Library, SecondProcessIsRefusedOnceThenServed) {
  const std::string holder = kBin + "/qx5_library_holder";
  char* argv[] = {const_cast<char*>(holder.c_str()), const_cast<char*>(library().c_str()), nullptr};
  pid_t pid = 0;
  ASSERT_EQ(posix_spawn(&pid, holder.c_str(), nullptr, nullptr, argv, environ), 0);
  for (int i = 0; i < 500 && !mapsLibrary(pid); ++i)
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  ASSERT_TRUE(mapsLibrary(pid));

  const std::string output = probe("count error count");
  kill(pid, SIGTERM);
  waitpid(pid, nullptr, 0);

  std::istringstream lines(output);
  std::string first, error, second;
  std::getline(lines, first);
  std::getline(lines, error);
  std::getline(lines, second);
  EXPECT_EQ(first, "count -1");
  EXPECT_NE(error.find("qx5dll.dll is being used by process " + std::to_string(pid) +
                       " \"qx5_library_holder\""),
            std::string::npos)
      << error;
  EXPECT_EQ(second, "count 0");
}

}  // namespace

namespace {

TEST(Library, SimulatedGaugesAreCountedAndSelected) {
  EXPECT_EQ(run("env -u QX5LOGFILE QX5SIM=3 " + kBin + "/qx5_library_probe " + library() +
                " count port0 error"),
            "count 3\nport 0 true\nerror \n");
}

}  // namespace
