#include "tests/support/ChildProcess.h"

#include "tools/hostsession/HostEnvironment.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

pid_t Spawn(const std::vector<std::string>& argv,
            const std::map<std::string, std::string>& environment, int extraFd, int outFd) {
  std::vector<char*> args;
  for (const auto& arg : argv)
    args.push_back(const_cast<char*>(arg.c_str()));
  args.push_back(nullptr);
  // Built before fork: the test may have threads, and the child may only
  // make async-signal-safe calls.
  std::vector<std::string> entries = ChangedEnvironment({environment.begin(), environment.end()});
  std::vector<char*> envp;
  for (auto& entry : entries)
    envp.push_back(entry.data());
  envp.push_back(nullptr);

  const pid_t pid = fork();
  if (pid != 0)
    return pid;
  // Child: its own process group, so stopping it reaches what it starts,
  // and it ends with the test even when the test is killed.
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
  const int devnull = open("/dev/null", O_RDWR);
  dup2(devnull, 0);
  dup2(outFd >= 0 ? outFd : devnull, 1);
  // Their complaints (a window already gone, a display number taken) are
  // expected; what matters is their results.
  dup2(devnull, 2);
  if (extraFd >= 0) {
    dup2(extraFd, 3);
  }
  execvpe(args[0], args.data(), envp.data());
  _exit(127);
}

// Reaps the child within `timeoutMs`; true when it ended.
bool Reap(pid_t pid, int timeoutMs, int* status) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  do {
    const pid_t done = waitpid(pid, status, WNOHANG);
    if (done == pid || (done < 0 && errno == ECHILD))
      return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  } while (Clock::now() < deadline);
  return false;
}

}  // namespace

pid_t SpawnChild(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment, int extraFd) {
  return Spawn(argv, environment, extraFd, -1);
}

void StopChild(pid_t pid, int graceMs) {
  if (pid <= 0)
    return;
  // The whole group: what the child started ends with it.
  int status = 0;
  kill(-pid, SIGTERM);
  if (Reap(pid, graceMs, &status)) {
    kill(-pid, SIGKILL);
    return;
  }
  kill(-pid, SIGKILL);
  waitpid(pid, &status, 0);
}

ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& environment, int timeoutMs) {
  ChildResult result;
  int out[2];
  if (pipe2(out, O_CLOEXEC) != 0)
    return result;
  const pid_t pid = Spawn(argv, environment, -1, out[1]);
  close(out[1]);
  if (pid < 0) {
    close(out[0]);
    return result;
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  bool timedOut = false;
  for (;;) {
    const auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) {
      timedOut = true;
      break;
    }
    pollfd waiting{out[0], POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left)) <= 0)
      continue;
    char buffer[4096];
    const ssize_t n = read(out[0], buffer, sizeof buffer);
    if (n <= 0)
      break;
    result.output.append(buffer, static_cast<size_t>(n));
  }
  close(out[0]);
  int status = 0;
  if (timedOut || !Reap(pid, timedOut ? 0 : timeoutMs, &status)) {
    kill(-pid, SIGKILL);
    kill(pid, SIGKILL);
    waitpid(pid, &status, 0);
    return result;
  }
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return result;
}

bool PollUntil(int timeoutMs, const std::function<bool()>& done) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
  for (;;) {
    if (done())
      return true;
    if (Clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
}

namespace {

// One line from `fd`, within `timeoutMs`; empty when none came.
std::string ReadLine(int fd, int timeoutMs) {
  std::string line;
  while (line.empty() || line.back() != '\n') {
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, timeoutMs) <= 0)
      return "";
    char c;
    if (read(fd, &c, 1) != 1)
      return "";
    line += c;
  }
  line.pop_back();
  return line;
}

}  // namespace

pid_t StartBusDaemon(const std::vector<std::string>& configArgs,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     std::string& address) {
  address.clear();
  int pipeFds[2];
  if (pipe2(pipeFds, O_CLOEXEC) != 0)
    return -1;
  std::vector<std::string> argv = {"dbus-daemon"};
  argv.insert(argv.end(), configArgs.begin(), configArgs.end());
  argv.insert(argv.end(), {"--nofork", "--nopidfile", "--print-address=3"});
  pid_t pid = SpawnChild(argv, environment, pipeFds[1]);
  close(pipeFds[1]);
  if (pid > 0)
    address = ReadLine(pipeFds[0], timeoutMs);
  close(pipeFds[0]);
  if (pid > 0 && address.empty()) {
    StopChild(pid);
    pid = -1;
  }
  return pid;
}
