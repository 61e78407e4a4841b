// Naming and rotation of the log files, shared by logInit, the line writer and the tests.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>

namespace qx5 {

// Splits `name` into base and extension (".log" when it has none); files are base_N.ext.
void SetLogFileName(const char* name);
// "base_%d.ext"; empty when no file is configured.
std::string LogFileTemplate();
// Name of file number n (0 is the current file, 5 the oldest kept).
std::string LogFileName(int n);
// Opens the current file for appending, first rotating it away when it holds at least `limit`
// bytes. Null when no file is configured or it cannot be opened.
std::FILE* OpenLogFile(std::uintmax_t limit);

inline constexpr int kLogFilesKept = 6;
inline constexpr std::uintmax_t kLogFileLimit = 1048576;

}  // namespace qx5
