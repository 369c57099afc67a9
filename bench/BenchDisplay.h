// A private virtual display for the benchmarks that answer the host's
// dialogs, and xdotool run on it, as a user at the keyboard would.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>
#include <vector>

namespace bench_display {

// Starts a program with the given display and standard output to `out`
// (closed in the child when -1); returns its process id, or -1.
inline pid_t Spawn(const std::vector<std::string>& command, const std::string& display, int out,
                   int keep = -1) {
  const pid_t pid = fork();
  if (pid != 0)
    return pid;
  if (!display.empty())
    setenv("DISPLAY", display.c_str(), 1);
  if (out >= 0)
    dup2(out, STDOUT_FILENO);
  const int null = open("/dev/null", O_RDWR);
  dup2(null, STDIN_FILENO);
  dup2(null, STDERR_FILENO);
  if (out < 0)
    dup2(null, STDOUT_FILENO);
  if (keep >= 0)
    fcntl(keep, F_SETFD, 0);
  std::vector<char*> argv;
  for (const std::string& word : command)
    argv.push_back(const_cast<char*>(word.c_str()));
  argv.push_back(nullptr);
  execvp(argv[0], argv.data());
  _exit(127);
}

// Runs xdotool with `arguments` on `display` to its end; returns what it
// printed, or nothing when it failed.
inline bool XDoTool(const std::string& display, std::vector<std::string> arguments,
                    std::string* output = nullptr) {
  arguments.insert(arguments.begin(), "xdotool");
  int pipe[2];
  if (pipe2(pipe, O_CLOEXEC) != 0)
    return false;
  const pid_t pid = Spawn(arguments, display, pipe[1]);
  close(pipe[1]);
  std::string text;
  char buffer[256];
  ssize_t n;
  while ((n = read(pipe[0], buffer, sizeof buffer)) > 0)
    text.append(buffer, static_cast<size_t>(n));
  close(pipe[0]);
  int status = 0;
  if (pid < 0 || waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return false;
  if (output != nullptr)
    *output = text;
  return true;
}

// Xvfb on the first free display, stopped with the object.
class VirtualDisplay {
 public:
  VirtualDisplay() {
    int ready[2];
    if (pipe2(ready, O_CLOEXEC) != 0)
      return;
    mPid = Spawn({"Xvfb", "-displayfd", std::to_string(ready[1]), "-screen", "0", "1280x1024x24",
                  "-nolisten", "tcp"},
                 "", -1, ready[1]);
    close(ready[1]);
    std::string number;
    pollfd waiting{ready[0], POLLIN, 0};
    char buffer[16];
    ssize_t n;
    while ((number.empty() || number.back() != '\n') && poll(&waiting, 1, 15000) > 0 &&
           (n = read(ready[0], buffer, sizeof buffer)) > 0)
      number.append(buffer, static_cast<size_t>(n));
    close(ready[0]);
    if (!number.empty() && number.back() == '\n')
      mName = ":" + number.substr(0, number.size() - 1);
  }
  ~VirtualDisplay() {
    if (mPid > 0) {
      kill(mPid, SIGTERM);
      waitpid(mPid, nullptr, 0);
    }
  }
  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  // Empty when the display did not start.
  const std::string& Name() const { return mName; }

 private:
  pid_t mPid = -1;
  std::string mName;
};

}  // namespace bench_display
