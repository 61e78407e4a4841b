#include "qx5cmd/core/Console.h"

#include <cstdarg>
#include <cstdio>
#include <mutex>

namespace qx5cmd {
namespace {

std::mutex& outputLock() {
  static std::mutex lock;
  return lock;
}

}  // namespace

void out(const char* fmt, ...) {
  ConsoleLines* workerLines = ConsoleScope::installed();
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
  if (ConsoleLines* workerLines = ConsoleScope::installed()) {
    workerLines->write(text);
  } else {
    std::fwrite(text.data(), 1, text.size(), stdout);
  }
}

void outFlush() {
  if (!ConsoleScope::installed()) std::fflush(stdout);
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

// Whether the line carries the tag already, as a label made by linePrefix does: first, or after
// the loop number.
bool ConsoleLines::tagged() const {
  std::size_t at = line_.find_first_not_of(" 0123456789");
  if (at == std::string::npos || (at > 0 && line_[at - 1] != ' ')) at = 0;
  return line_.compare(at, tag_.size(), tag_) == 0;
}

void ConsoleLines::endLine() {
  if (line_.empty()) return;
  std::string whole = tagged() ? line_ : tag_ + line_;
  whole += '\n';
  line_.clear();
  std::lock_guard lock(outputLock());
  std::fwrite(whole.data(), 1, whole.size(), stdout);
  std::fflush(stdout);
}

}  // namespace qx5cmd
