#include <windows.h>

#include <atomic>

#include "qx5cmd/platform/BreakSignal.h"

namespace qx5cmd {
namespace {

std::atomic<bool> breakFlag{false};

// Runs on a thread of its own that the console starts: say so, raise the flag, and let the
// loops wind down. Closing the console window counts as a break too.
BOOL WINAPI onBreak(DWORD event) {
  if (event != CTRL_C_EVENT && event != CTRL_BREAK_EVENT && event != CTRL_CLOSE_EVENT) return FALSE;
  static const char kText[] = "<.. break ..>\n";
  DWORD written = 0;
  WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), kText, sizeof kText - 1, &written, nullptr);
  breakFlag.store(true);
  return TRUE;
}

}  // namespace

void installBreakHandler() { SetConsoleCtrlHandler(onBreak, TRUE); }

bool breakRequested() { return breakFlag.load(); }
void requestBreak() { breakFlag.store(true); }
void clearBreakRequest() { breakFlag.store(false); }

}  // namespace qx5cmd
