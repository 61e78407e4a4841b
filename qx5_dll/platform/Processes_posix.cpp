#include "qx5_dll/platform/Processes.h"

#include <dirent.h>
#include <dlfcn.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <fstream>
#include <memory>

namespace qx5::platform {

namespace {

std::string baseName(const std::string& path) {
  const auto slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

bool isNumber(const char* text) {
  if (!*text) return false;
  for (; *text; ++text)
    if (!std::isdigit(static_cast<unsigned char>(*text))) return false;
  return true;
}

}  // namespace

int currentProcessId() { return static_cast<int>(getpid()); }

std::optional<std::vector<int>> listProcessIds() {
  std::unique_ptr<DIR, int (*)(DIR*)> proc(opendir("/proc"), closedir);
  if (!proc) return std::nullopt;
  std::vector<int> ids;
  while (const dirent* entry = readdir(proc.get())) {
    if (isNumber(entry->d_name)) ids.push_back(std::atoi(entry->d_name));
  }
  return ids;
}

std::optional<std::vector<std::string>> mappedFilePaths(int pid) {
  std::ifstream maps("/proc/" + std::to_string(pid) + "/maps");
  if (!maps) return std::nullopt;
  // address perms offset dev inode [path]; the path starts at the first '/' after the inode.
  std::vector<std::string> paths;
  std::string line;
  while (std::getline(maps, line)) {
    const auto slash = line.find('/');
    if (slash == std::string::npos) continue;
    std::string path = line.substr(slash);
    if (paths.empty() || paths.back() != path) paths.push_back(std::move(path));
  }
  return paths;
}

std::string executableBaseName(int pid) {
  char target[4096];
  const std::string link = "/proc/" + std::to_string(pid) + "/exe";
  const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
  if (length > 0) return baseName(std::string(target, static_cast<std::size_t>(length)));
  // Without the right to follow exe, the kernel's short command name still identifies it.
  std::ifstream comm("/proc/" + std::to_string(pid) + "/comm");
  std::string name;
  std::getline(comm, name);
  return name;
}

std::string ownModuleFileName() {
  Dl_info info{};
  if (dladdr(reinterpret_cast<void*>(&ownModuleFileName), &info) == 0 || !info.dli_fname) return "";
  return baseName(info.dli_fname);
}

}  // namespace qx5::platform
