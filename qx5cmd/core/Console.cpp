#include "qx5cmd/core/Console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace qx5cmd {
namespace {

thread_local ConsoleLines* workerLines = nullptr;

std::mutex& outputLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

void out(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  if (!workerLines) {
    std::vprintf(fmt, args);
    va_end(args);
    return;
  }
  va_list again;
  va_copy(again, args);
  const int length = std::vsnprintf(nullptr, 0, fmt, args);
  va_end(args);
  std::string text(length > 0 ? static_cast<std::size_t>(length) : 0, '\0');
  if (length > 0) std::vsnprintf(text.data(), text.size() + 1, fmt, again);
  va_end(again);
  workerLines->write(text);
}

void outText(const std::string& text) {
  if (workerLines) {
    workerLines->write(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void outFlush() {
  if (!workerLines) std::fflush(stdout);
}

ConsoleLines::~ConsoleLines() { endLine(); }

void ConsoleLines::write(const std::string& text) {
  for (char c : text) {
    if (c == '\n' || c == '\r') {
      endLine();
    } else if (c == '\b') {
      if (!line_.empty()) line_.pop_back();
    } else {
      line_ += c;
    }
  }
}

void ConsoleLines::endLine() {
  if (line_.empty()) return;
  // Labels made by linePrefix carry the tag already.
  std::string whole = line_.starts_with(tag_) ? line_ : tag_ + line_;
  whole += '\n';
  line_.clear();
  std::lock_guard lock(outputLock());
  std::fwrite(whole.data(), 1, whole.size(), stdout);
  std::fflush(stdout);
}

ConsoleScope::ConsoleScope(ConsoleLines& lines) : previous_(workerLines) { workerLines = &lines; }

ConsoleScope::~ConsoleScope() { workerLines = previous_; }

}  // namespace qx5cmd
