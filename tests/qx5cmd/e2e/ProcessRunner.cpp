#include "qx5cmd/e2e/ProcessRunner.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>

extern char** environ;

namespace qx5cmd::testing {
namespace {

using Clock = std::chrono::steady_clock;

double since(Clock::time_point t) {
  return std::chrono::duration<double>(Clock::now() - t).count();
}

}  // namespace

namespace {

ProcessResult runChild(const std::function<void()>& child, const ProcessOptions& options) {
  ProcessResult result;
  int outPipe[2], errPipe[2];
  if (pipe(outPipe) != 0 || pipe(errPipe) != 0) return result;
  auto start = Clock::now();
  // A forked child would print again whatever this process still holds in its buffers.
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    dup2(outPipe[1], STDOUT_FILENO);
    dup2(errPipe[1], STDERR_FILENO);
    close(outPipe[0]);
    close(errPipe[0]);
    for (const auto& [name, value] : options.environment) {
      if (value.empty()) {
        unsetenv(name.c_str());
      } else {
        setenv(name.c_str(), value.c_str(), 1);
      }
    }
    if (!options.workingDirectory.empty() && chdir(options.workingDirectory.c_str()) != 0)
      _exit(126);
    child();
    _exit(127);
  }
  close(outPipe[1]);
  close(errPipe[1]);

  bool signalled = options.signal == 0;
  Clock::time_point signalTime{};
  pollfd fds[2] = {{outPipe[0], POLLIN, 0}, {errPipe[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    double elapsedMs = since(start) * 1000;
    if (!signalled && elapsedMs >= options.signalAfterMs &&
        result.out.find(options.signalAfterOutput) != std::string::npos) {
      kill(pid, options.signal);
      signalTime = Clock::now();
      signalled = true;
    }
    if (elapsedMs > options.timeoutMs) {
      kill(pid, SIGKILL);
      break;
    }
    if (poll(fds, 2, 20) <= 0) continue;
    for (pollfd& fd : fds) {
      if (fd.fd < 0 || !(fd.revents & (POLLIN | POLLHUP))) continue;
      char buffer[4096];
      ssize_t n = read(fd.fd, buffer, sizeof buffer);
      if (n <= 0) {
        close(fd.fd);
        fd.fd = -1;
        --open;
      } else {
        (fd.fd == outPipe[0] ? result.out : result.err).append(buffer, static_cast<size_t>(n));
      }
    }
  }
  for (pollfd& fd : fds) {
    if (fd.fd >= 0) close(fd.fd);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  result.seconds = since(start);
  if (options.signal != 0 && signalled) result.afterSignal = since(signalTime);
  if (WIFEXITED(status)) result.exitStatus = WEXITSTATUS(status);
  return result;
}

}  // namespace

ProcessResult runProcess(const std::string& program, const std::vector<std::string>& arguments,
                         const ProcessOptions& options) {
  return runChild(
      [&] {
        std::vector<char*> argv{const_cast<char*>(program.c_str())};
        for (const auto& a : arguments) argv.push_back(const_cast<char*>(a.c_str()));
        argv.push_back(nullptr);
        execv(program.c_str(), argv.data());
      },
      options);
}

ProcessResult runInChild(const std::function<int()>& body, const ProcessOptions& options) {
  return runChild(
      [&] {
        int status = body();
        std::fflush(nullptr);
        _exit(status);
      },
      options);
}

}  // namespace qx5cmd::testing
