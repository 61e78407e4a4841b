#include <fcntl.h>
#include <io.h>
#include <sys/stat.h>
#include <windows.h>
// mmsystem.h needs windows.h first.
#include <mmsystem.h>

#include <cstdio>
#include <ctime>
#include <filesystem>

#include "qx5cmd/platform/Platform.h"

namespace qx5cmd::platform {

std::int64_t performanceCounter() {
  LARGE_INTEGER now{};
  QueryPerformanceCounter(&now);
  // +1 keeps a reading from ever being 0, which the statistics take as "not running".
  return static_cast<std::int64_t>(now.QuadPart) + 1;
}

std::int64_t performanceFrequency() {
  LARGE_INTEGER frequency{};
  QueryPerformanceFrequency(&frequency);
  return static_cast<std::int64_t>(frequency.QuadPart);
}

std::uint32_t tickCountMs() { return static_cast<std::uint32_t>(GetTickCount()); }

void sleepMs(int milliseconds) {
  if (milliseconds > 0) Sleep(static_cast<DWORD>(milliseconds));
}

std::string localTimeText(const char* format) {
  const std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_s(&local, &now);
  char text[128];
  const std::size_t n = std::strftime(text, sizeof text, format, &local);
  return std::string(text, n);
}

std::string executableDirectory() {
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(nullptr, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return {};
  return std::filesystem::path(std::string(path, length)).parent_path().string();
}

bool fileExists(const std::string& path) {
  std::error_code ec;
  return std::filesystem::is_regular_file(path, ec);
}

// msvcrt's fopen ignores the "x" of C11 and would truncate an existing file.
std::FILE* createNewTextFile(const std::string& path) {
  const int fd =
      _open(path.c_str(), _O_WRONLY | _O_CREAT | _O_EXCL | _O_TEXT, _S_IREAD | _S_IWRITE);
  if (fd < 0) return nullptr;
  std::FILE* file = _fdopen(fd, "w");
  if (!file) _close(fd);
  return file;
}

// The C runtime here has no line buffering (_IOLBF means full buffering and a size of 0 is an
// invalid parameter): unbuffered keeps the order.
void lineBufferStandardOutput() { std::setvbuf(stdout, nullptr, _IONBF, 0); }

void beep() { MessageBeep(MB_OK); }

int raiseTimerResolution() { return timeBeginPeriod(1) == TIMERR_NOERROR ? 1 : 0; }

void restoreTimerResolution(int period) {
  if (period > 0) timeEndPeriod(static_cast<UINT>(period));
}

void keepSystemAwake() { SetThreadExecutionState(ES_CONTINUOUS | ES_SYSTEM_REQUIRED); }

}  // namespace qx5cmd::platform
