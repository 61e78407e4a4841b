// Runs code with the log mirrored to standard output and returns the lines it wrote, each with
// its time-of-day header removed ("DEBUG     [tag] message").
#pragma once

#include <gtest/gtest.h>

#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include "qx5_dll/diagnostics/Log.h"

namespace qx5::test {

inline std::vector<std::string> stdoutLines(const std::string& captured) {
  static const std::regex header(R"(^\d\d:\d\d:\d\d\.\d\d\d (.*)$)");
  std::vector<std::string> lines;
  std::istringstream in(captured);
  std::string line;
  std::smatch match;
  while (std::getline(in, line)) {
    if (std::regex_match(line, match, header)) lines.push_back(match[1]);
    if (line.empty() && !lines.empty()) lines.push_back("");
  }
  return lines;
}

template <typename Body>
std::vector<std::string> logLinesAt(int level, Body body) {
  logInit(level, nullptr, true);
  testing::internal::CaptureStdout();
  body();
  std::fflush(stdout);
  const std::string captured = testing::internal::GetCapturedStdout();
  logInit(kLogOff, nullptr, false);
  return stdoutLines(captured);
}

}  // namespace qx5::test
