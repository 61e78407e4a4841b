// The tester's standard output. The main thread writes through at once, as printf does. A worker
// (-j) keeps its text until the line ends and then writes the line whole, starting with its
// gauge's tag, so that the lines of gauges running at once never mix within a line.
#pragma once

#include <string>
#include "qx5cmd/core/WorkerOverride.h"

namespace qx5cmd {

// printf to the calling thread's console.
void out(const char* fmt, ...) __attribute__((format(printf, 1, 2)));
void outText(const std::string& text);
// Flushes standard output on the main thread; a worker's unfinished line waits for its end.
void outFlush();

// A worker's console. Backspaces take back what they follow, so figures that rewrite themselves
// in place (the progress meter) leave nothing; a carriage return ends a line as a newline does;
// lines left empty are dropped.
class ConsoleLines {
 public:
  explicit ConsoleLines(std::string tag) : tag_(std::move(tag)) {}
  ~ConsoleLines();  // an unfinished line is written as a line
  ConsoleLines(const ConsoleLines&) = delete;
  ConsoleLines& operator=(const ConsoleLines&) = delete;

  void write(const std::string& text);

 private:
  bool tagged() const;
  void endLine();

  std::string tag_;
  std::string line_;
};

// Sends the calling thread's output to `lines` for the scope's life.
using ConsoleScope = WorkerOverride<ConsoleLines>;

}  // namespace qx5cmd
