#include "tools/desktop/Spawn.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <iterator>
#include <thread>

#include "tools/hostsession/HostEnvironment.h"

namespace {

GStrv ToStrv(const std::vector<std::string>& items) {
  g_autoptr(GStrvBuilder) builder = g_strv_builder_new();
  for (const auto& item : items)
    g_strv_builder_add(builder, item.c_str());
  return g_strv_builder_end(builder);
}

GStrv EnvironmentWith(const Variables& variables) {
  return ToStrv(ChangedEnvironment({variables.begin(), variables.end()}));
}

void OwnGroupDyingWithParent(gpointer) {
  setpgid(0, 0);
  prctl(PR_SET_PDEATHSIG, SIGKILL);
}

}  // namespace

Child::Child(const std::vector<std::string>& argv, const Variables& environment, int extraFd) {
  g_auto(GStrv) args = ToStrv(argv);
  g_auto(GStrv) envp = EnvironmentWith(environment);
  const int target = 3;
  const auto flags = static_cast<GSpawnFlags>(
      G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD | G_SPAWN_STDIN_FROM_DEV_NULL |
      G_SPAWN_STDERR_TO_DEV_NULL | G_SPAWN_STDOUT_TO_DEV_NULL);
  if (!g_spawn_async_with_pipes_and_fds(nullptr, args, envp, flags, OwnGroupDyingWithParent,
                                        nullptr, -1, -1, -1, &extraFd, &target, extraFd < 0 ? 0 : 1,
                                        &mPid, nullptr, nullptr, nullptr, nullptr))
    mPid = -1;
}

Child::~Child() {
  if (mPid <= 0)
    return;
  kill(-mPid, SIGKILL);
  waitpid(mPid, nullptr, 0);
}

ChildResult RunChild(std::vector<std::string> argv, const Variables& environment, int timeoutMs) {
  argv.insert(argv.begin(), {"timeout", "-s", "KILL", std::to_string(timeoutMs / 1000.0)});
  g_auto(GStrv) args = ToStrv(argv);
  g_auto(GStrv) envp = EnvironmentWith(environment);
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

bool PollUntil(int timeoutMs, const std::function<bool()>& done) {
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= deadline)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
  }
  return true;
}

std::string StartReporting(std::optional<Child>& child, const std::vector<std::string>& argv,
                           const Variables& environment, const std::string& path, int timeoutMs) {
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
