// Helper programs that tests start and must end again (Xvfb, sway,
// dbus-daemon, xdotool), spawned by GLib with the test's environment changed:
// each in a process group of its own, so that ending it ends what it started,
// and killed with the test. Every wait is bounded.
#pragma once

#include <fcntl.h>
#include <glib.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "tools/hostsession/HostEnvironment.h"

using Variables = std::map<std::string, std::string>;

inline GStrv ToStrv(const std::vector<std::string>& items) {
  g_autoptr(GStrvBuilder) builder = g_strv_builder_new();
  for (const auto& item : items)
    g_strv_builder_add(builder, item.c_str());
  return g_strv_builder_end(builder);
}

inline void OwnGroupDyingWithTest(gpointer) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
}

// A helper that runs until this object goes, then is killed with its group.
class Child {
 public:
  // `extraFd`, when not -1, becomes the child's descriptor 3.
  Child(const std::vector<std::string>& argv, const Variables& environment, int extraFd = -1) {
    g_auto(GStrv) args = ToStrv(argv);
    g_auto(GStrv) envp = ToStrv(ChangedEnvironment({environment.begin(), environment.end()}));
    const int target = 3;
    const auto flags = static_cast<GSpawnFlags>(
        G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL |
        G_SPAWN_STDERR_TO_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL);
    if (!g_spawn_async_with_pipes_and_fds(
            nullptr, args, envp, flags, OwnGroupDyingWithTest, nullptr, -1, -1, -1, &extraFd,
            &target, extraFd < 0 ? 0 : 1, &mPid, nullptr, nullptr, nullptr, nullptr))
      mPid = -1;
  }
  ~Child() {
    if (mPid <= 0)
      return;
    kill(-mPid, SIGKILL);
    waitpid(mPid, nullptr, 0);
  }
  Child(const Child&) = delete;
  Child& operator=(const Child&) = delete;

  bool Ok() const { return mPid > 0; }

 private:
  GPid mPid = -1;
};

struct ChildResult {
  int exitCode = -1;   // -1: killed after the timeout, or not started
  std::string output;  // stdout
};

// Runs a program to its end; coreutils' timeout kills it after `timeoutMs`.
inline ChildResult RunChild(std::vector<std::string> argv, const Variables& environment,
                            int timeoutMs) {
  argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(timeoutMs / 1000.0)});
  g_auto(GStrv) args = ToStrv(argv);
  g_auto(GStrv) envp = ToStrv(ChangedEnvironment({environment.begin(), environment.end()}));
  g_autofree char* output = nullptr;
  int status = 0;
  ChildResult result;
  if (g_spawn_sync(nullptr, args, envp,
                   static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_STDIN_FROM_DEV_NULL |
                                            G_SPAWN_STDERR_TO_DEV_NULL),
                   nullptr, nullptr, &output, nullptr, &status, nullptr)) {
    result.output = output;
    result.exitCode = WIFEXITED(status) && WEXITSTATUS(status) != 137 ? WEXITSTATUS(status) : -1;
  }
  return result;
}

// Calls `done` every 100 ms until it returns true (then true) or `timeoutMs`
// has passed (then false): for the state of a helper that only it can tell.
inline bool PollUntil(int timeoutMs, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

// Starts `argv` as `child` with its descriptor 3 on the file `path`, where it
// writes a line once it is ready (Xvfb its display number, dbus-daemon its
// address): that line, or "" when none came within `timeoutMs`.
inline std::string StartReporting(std::optional<Child>& child, const std::vector<std::string>& argv,
                                  const Variables& environment, const std::string& path,
                                  int timeoutMs) {
  const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
  child.emplace(argv, environment, fd);
  close(fd);
  std::string line;
  const bool ready = child->Ok() && PollUntil(timeoutMs, [&] {
                       std::ifstream in(path);
                       line.assign(std::istreambuf_iterator<char>(in), {});
                       return !line.empty() && line.back() == '\n';
                     });
  return ready ? line.substr(0, line.size() - 1) : "";
}
