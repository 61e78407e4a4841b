#include "qx5cmd/platform/BreakSignal.h"

#include <signal.h>
#include <unistd.h>

#include <atomic>

namespace qx5cmd {
namespace {

std::atomic<bool> breakFlag{false};
static_assert(std::atomic<bool>::is_always_lock_free, "the signal handler needs a lock-free flag");

void onBreak(int) {
  static const char kText[] = "<.. break ..>\n";
  // Only async-signal-safe work here: one write and the flag.
  ssize_t ignored = write(STDOUT_FILENO, kText, sizeof kText - 1);
  (void)ignored;
  breakFlag.store(true);
}

}  // namespace

void installBreakHandler() {
  struct sigaction action {};
  action.sa_handler = onBreak;
  sigemptyset(&action.sa_mask);
  action.sa_flags = SA_RESTART;
  sigaction(SIGINT, &action, nullptr);
  sigaction(SIGTERM, &action, nullptr);
}

bool breakRequested() { return breakFlag.load(); }
void requestBreak() { breakFlag.store(true); }
void clearBreakRequest() { breakFlag.store(false); }

}  // namespace qx5cmd
