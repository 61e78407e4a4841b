// PSAPI is bound at run time: the library loads where it is missing, and a guard that cannot
// list processes does not refuse anyone.
#include <windows.h>

#include <algorithm>
#include <cctype>

#include "qx5_dll/platform/DynamicLibrary.h"
#include "qx5_dll/platform/Processes.h"

namespace qx5::platform {

namespace {

struct PsapiFunctions {
  using EnumProcessesFn = BOOL(WINAPI*)(DWORD*, DWORD, DWORD*);
  using EnumProcessModulesFn = BOOL(WINAPI*)(HANDLE, HMODULE*, DWORD, DWORD*);
  using GetModuleFileNameExFn = DWORD(WINAPI*)(HANDLE, HMODULE, LPSTR, DWORD);

  DynamicLibrary library{"PSAPI.DLL"};
  EnumProcessesFn enumProcesses = nullptr;
  EnumProcessModulesFn enumProcessModules = nullptr;
  GetModuleFileNameExFn getModuleFileNameEx = nullptr;
  GetModuleFileNameExFn getModuleBaseName = nullptr;

  PsapiFunctions() {
    library.bind("EnumProcesses", enumProcesses);
    library.bind("EnumProcessModules", enumProcessModules);
    library.bind("GetModuleFileNameExA", getModuleFileNameEx);
    library.bind("GetModuleBaseNameA", getModuleBaseName);
  }
  bool complete() const {
    return enumProcesses && enumProcessModules && getModuleFileNameEx && getModuleBaseName;
  }
};

PsapiFunctions& psapi() {
  static PsapiFunctions functions;
  return functions;
}

// File names compare without regard to case here, so module paths and our own name are both
// given in lower case.
std::string lowerCase(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string baseName(const std::string& path) {
  const auto separator = path.find_last_of("\\/");
  return separator == std::string::npos ? path : path.substr(separator + 1);
}

struct ProcessHandle {
  HANDLE handle;
  explicit ProcessHandle(int pid)
      : handle(OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE,
                           static_cast<DWORD>(pid))) {}
  ~ProcessHandle() {
    if (handle) CloseHandle(handle);
  }
  ProcessHandle(const ProcessHandle&) = delete;
  ProcessHandle& operator=(const ProcessHandle&) = delete;
};

}  // namespace

int currentProcessId() { return static_cast<int>(GetCurrentProcessId()); }

std::optional<std::vector<int>> listProcessIds() {
  PsapiFunctions& functions = psapi();
  if (!functions.complete()) return std::nullopt;
  std::vector<DWORD> ids(1024);
  DWORD bytes = 0;
  // A full buffer may have cut the list short: grow until it has room to spare.
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(ids.size() * sizeof(DWORD));
    if (!functions.enumProcesses(ids.data(), capacity, &bytes)) return std::nullopt;
    if (bytes < capacity || ids.size() >= (1u << 20)) break;
    ids.resize(ids.size() * 2);
  }
  return std::vector<int>(ids.begin(), ids.begin() + bytes / sizeof(DWORD));
}

std::optional<std::vector<std::string>> mappedFilePaths(int pid) {
  PsapiFunctions& functions = psapi();
  if (!functions.complete()) return std::nullopt;
  ProcessHandle process(pid);
  if (!process.handle) return std::nullopt;
  std::vector<HMODULE> modules(256);
  DWORD bytes = 0;
  for (;;) {
    const DWORD capacity = static_cast<DWORD>(modules.size() * sizeof(HMODULE));
    if (!functions.enumProcessModules(process.handle, modules.data(), capacity, &bytes))
      return std::nullopt;
    if (bytes <= capacity || modules.size() >= 65536) break;
    modules.resize(bytes / sizeof(HMODULE) + 16);
  }
  const std::size_t count = std::min<std::size_t>(bytes / sizeof(HMODULE), modules.size());
  std::vector<std::string> paths;
  for (std::size_t i = 0; i < count; ++i) {
    char path[MAX_PATH];
    const DWORD length = functions.getModuleFileNameEx(process.handle, modules[i], path, MAX_PATH);
    if (length > 0) paths.push_back(lowerCase(std::string(path, length)));
  }
  return paths;
}

std::string executableBaseName(int pid) {
  PsapiFunctions& functions = psapi();
  if (!functions.complete()) return "";
  ProcessHandle process(pid);
  if (!process.handle) return "";
  char name[MAX_PATH];
  const DWORD length = functions.getModuleBaseName(process.handle, nullptr, name, MAX_PATH);
  return std::string(name, length);
}

std::string ownModuleFileName() {
  HMODULE self = nullptr;
  if (!GetModuleHandleExA(
          GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
          reinterpret_cast<LPCSTR>(&ownModuleFileName), &self))
    return "";
  char path[MAX_PATH];
  const DWORD length = GetModuleFileNameA(self, path, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return "";
  return lowerCase(baseName(std::string(path, length)));
}

}  // namespace qx5::platform
