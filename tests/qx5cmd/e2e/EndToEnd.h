// What the end-to-end tests share: the built programs, running qx5cmd with an environment, and
// skipping a test whose library exports have not been built yet.
#pragma once

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <initializer_list>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "qx5cmd/e2e/ProcessRunner.h"
#include "qx5cmd/fakelib/FakeLibrary.h"
#include "support/PrivateLibraryCopy.h"
#include "support/TempDir.h"

namespace qx5cmd::e2e {

namespace fs = std::filesystem;
using testing::ProcessOptions;
using testing::ProcessResult;

inline const std::string kQx5cmd = std::string(QX5_BIN_DIR) + "/qx5cmd";
inline const std::string kLibrary = std::string(QX5_BIN_DIR) + "/libqx5dll.so";

// The library's exported names, read from its symbol table: loading it here would make its
// single-process guard refuse the qx5cmd processes these tests start.
inline const std::set<std::string>& libraryExports() {
  static const std::set<std::string> names = [] {
    std::set<std::string> found;
    ProcessResult nm = testing::runProcess("/usr/bin/nm", {"-D", "--defined-only", kLibrary});
    std::istringstream lines(nm.out);
    std::string address, type, name;
    while (lines >> address >> type >> name) found.insert(name.substr(0, name.find('@')));
    return found;
  }();
  return names;
}

inline std::string missingExports(std::initializer_list<const char*> needed) {
  std::string missing;
  for (const char* name : needed) {
    if (!libraryExports().count(name)) missing += std::string(missing.empty() ? "" : ", ") + name;
  }
  return missing;
}

#define REQUIRE_EXPORTS(...)                                                          \
  do {                                                                                \
    std::string missing = ::qx5cmd::e2e::missingExports({__VA_ARGS__});               \
    if (!missing.empty()) GTEST_SKIP() << "libqx5dll.so does not export " << missing; \
  } while (0)

#define REQUIRE_GAUGE_LOOP_EXPORTS(...) \
  REQUIRE_EXPORTS("GetDeviceCount", "UsbPort", "GetSerialNumber", "GetErrorMessage", ##__VA_ARGS__)

// A clock file no run has used: a process started with it begins at its virtual clock's start.
inline std::string freshVirtualClock() {
  static const qx5::test::TempDir clocks;
  static int next = 0;
  return clocks.file("clock" + std::to_string(next++));
}

// qx5cmd loads a copy of the library of this test's own unless told otherwise: the library's
// guard refuses while another process has a file of its name loaded, and other test runs on
// the machine load libqx5dll.so too. A run has a virtual clock of its own, so its waits take no
// time and the gauges see exactly the time the tester waited; one that is sent a signal waits in
// real time (there must be a wait to interrupt) unless its environment names a clock.
inline ProcessResult qx5cmd(std::vector<std::string> args,
                            std::map<std::string, std::string> env = {}, int signal = 0,
                            const std::string& signalAfterOutput = "",
                            const std::string& workingDirectory = "") {
  ProcessOptions options;
  options.environment = std::move(env);
  options.environment.emplace("QX5CMD_LIBRARY", qx5::test::privateLibrary());
  options.environment.emplace("USERNAME", "");
  if (signal == 0) options.environment.emplace("QX5_VIRTUAL_CLOCK", freshVirtualClock());
  options.signal = signal;
  options.signalAfterMs = 200;
  options.signalAfterOutput = signalAfterOutput;
  options.workingDirectory = workingDirectory;
  return testing::runProcess(kQx5cmd, args, options);
}

// qx5cmd in another working folder.
inline ProcessResult qx5cmdIn(const fs::path& folder, std::vector<std::string> args,
                              std::map<std::string, std::string> env) {
  return qx5cmd(std::move(args), std::move(env), 0, "", folder.string());
}

inline std::map<std::string, std::string> simulated(const std::string& gauges) {
  return {{"QX5SIM", gauges}};
}
inline std::map<std::string, std::string> fake(std::map<std::string, std::string> env = {}) {
  env["QX5CMD_LIBRARY"] = testing::fakeLibraryPath();
  return env;
}

inline void writeFile(const fs::path& path, const std::string& text) {
  std::ofstream(path) << text;
}

inline std::string readFile(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

}  // namespace qx5cmd::e2e
