// The files the tester leaves for people to look at: charts replaced whole, records appended
// line by line. None of them is worth failing a test for; one that cannot be written is said
// once on standard error and the run goes on.
#pragma once

#include <string>

namespace qx5cmd::charts {

// Writes `text` to a temporary file beside `path` and renames it over `path`, so a browser
// that reloads meanwhile sees the old file or the new one, never half of one. On failure
// `why` says what went wrong and `path` is as it was.
bool replaceFile(const std::string& path, const std::string& text, std::string& why);

// Appends `line` to `path`, writing `header` first when the file is new or empty.
bool appendLine(const std::string& path, const std::string& line, const std::string& header,
                std::string& why);

// "can't write PATH: WHY" on standard error, the first time only for each path.
void reportUnwritable(const std::string& path, const std::string& why);

// replaceFile, reporting a failure with reportUnwritable.
void replaceOrReport(const std::string& path, const std::string& text);

}  // namespace qx5cmd::charts
