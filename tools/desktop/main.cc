// qx-desktop: runs a program on a private desktop of its own, with a scripted
// user answering its dialogs from the keyboard. The demo shows the host's
// dialogs this way on any machine, with or without a desktop session.
#include <glib.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "tools/desktop/Desktop.h"
#include "tools/desktop/DialogDriver.h"
#include "tools/hostsession/HostEnvironment.h"

namespace {

const char kUsage[] =
    "Usage: qx-desktop [OPTION]... -- PROGRAM [ARG]...\n"
    "Runs PROGRAM on a private desktop: a virtual display, a session bus and a\n"
    "scratch home of its own, all ended after PROGRAM. Meanwhile a scripted user\n"
    "may answer PROGRAM's dialogs with the keyboard.\n"
    "  --wayland              sway on its headless backend instead of Xvfb\n"
    "  --service NAME=COMMAND the bus starts COMMAND (split like a shell) for NAME\n"
    "  --user FILE            the user's steps, one a line (\"#\" starts a comment):\n"
    "      choose-all TITLE CHORD  selects all in a panel, confirms with CHORD\n"
    "      choose-path TITLE PATH  types PATH into a panel's location field\n"
    "      press TITLE KEY         presses KEY in a window\n"
    "    Each step waits for the window titled TITLE to open and then to go.\n"
    "Exit status: PROGRAM's; 1 when the desktop did not start or a step failed;\n"
    "2 usage.\n";

// How long a window may take to open or to go.
constexpr int kWindowTimeoutMs = 60000;

struct Step {
  std::string action, title, argument;
};

bool ReadSteps(const std::string& path, std::vector<Step>& steps) {
  std::ifstream file(path);
  if (!file) {
    fprintf(stderr, "qx-desktop: cannot read %s\n", path.c_str());
    return false;
  }
  int number = 0;
  for (std::string line; std::getline(file, line);) {
    ++number;
    if (line.find_first_not_of(" \t") == std::string::npos ||
        line[line.find_first_not_of(" \t")] == '#')
      continue;
    g_auto(GStrv) words = nullptr;
    int count = 0;
    const bool split = g_shell_parse_argv(line.c_str(), &count, &words, nullptr);
    if (!split || count != 3 ||
        (strcmp(words[0], "choose-all") != 0 && strcmp(words[0], "choose-path") != 0 &&
         strcmp(words[0], "press") != 0)) {
      fprintf(stderr, "qx-desktop: %s:%d: not a step: %s\n", path.c_str(), number, line.c_str());
      return false;
    }
    steps.push_back({words[0], words[1], words[2]});
  }
  return true;
}

// The program the steps answer. Reaped as soon as it ends, so that a step
// waiting for a window it will never open stops at once.
class Program {
 public:
  explicit Program(GPid pid) : mPid(pid) {}
  bool Ended() {
    if (!mEnded)
      mEnded = waitpid(mPid, &mStatus, WNOHANG) == mPid;
    return mEnded;
  }
  int Wait() {
    if (!mEnded)
      mEnded = waitpid(mPid, &mStatus, 0) == mPid;
    return mStatus;
  }

 private:
  const GPid mPid;
  int mStatus = 0;
  bool mEnded = false;
};

// Null when the step was done; else why it was not.
std::optional<std::string> Perform(DialogDriver& user, Program& program, const Step& step) {
  std::optional<std::string> window;
  bool ended = false;
  PollUntil(kWindowTimeoutMs, [&] {
    return (ended = program.Ended()) || (window = user.WaitForWindow(step.title, 0));
  });
  if (ended)
    return "the program ended before the window opened";
  if (!window)
    return "no window within " + std::to_string(kWindowTimeoutMs) + " ms";
  const bool done = step.action == "choose-all"    ? user.ChooseAll(*window, step.argument)
                    : step.action == "choose-path" ? user.ChoosePath(*window, step.argument)
                                                   : user.Focus(*window) && user.Key(step.argument);
  if (done && user.WaitForWindowGone(*window, kWindowTimeoutMs))
    return std::nullopt;
  return user.LastError();
}

}  // namespace

int main(int argc, char** argv) {
  DesktopKind kind = DesktopKind::kX11;
  std::vector<std::pair<std::string, std::string>> services;
  std::vector<Step> steps;
  int i = 1;
  for (; i < argc && strcmp(argv[i], "--") != 0; ++i) {
    const std::string arg = argv[i];
    const char* value = i + 1 < argc ? argv[i + 1] : nullptr;
    if (arg == "--wayland") {
      kind = DesktopKind::kWayland;
    } else if (arg == "--service" && value != nullptr && strchr(value, '=') != nullptr) {
      services.emplace_back(std::string(value, strchr(value, '=')), strchr(value, '=') + 1);
      ++i;
    } else if (arg == "--user" && value != nullptr) {
      if (!ReadSteps(value, steps))
        return 2;
      ++i;
    } else {
      fputs(kUsage, arg == "--help" ? stdout : stderr);
      return arg == "--help" ? 0 : 2;
    }
  }
  if (i + 1 >= argc) {
    fputs(kUsage, stderr);
    return 2;
  }

  Desktop desktop(kind);
  if (!desktop.Ok()) {
    fprintf(stderr, "qx-desktop: the private desktop did not start within %d ms\n",
            Desktop::kStartMs);
    return 1;
  }
  for (const auto& [name, command] : services) {
    g_auto(GStrv) words = nullptr;
    if (!g_shell_parse_argv(command.c_str(), nullptr, &words, nullptr) ||
        !desktop.Bus().InstallService(
            name, std::vector<std::string>(words, words + g_strv_length(words)))) {
      fprintf(stderr, "qx-desktop: cannot make %s activatable\n", name.c_str());
      return 1;
    }
  }

  // Nothing of a desktop this process may run in reaches the program.
  EnvironmentChanges changes = {{"DISPLAY", std::nullopt},
                                {"WAYLAND_DISPLAY", std::nullopt},
                                {"SWAYSOCK", std::nullopt},
                                {"XDG_ACTIVATION_TOKEN", std::nullopt}};
  for (const auto& [name, value] : desktop.Environment())
    changes[name] = value;
  std::vector<std::string> environment = ChangedEnvironment(changes);
  std::vector<char*> envp;
  for (std::string& entry : environment)
    envp.push_back(entry.data());
  envp.push_back(nullptr);
  GPid program = 0;
  g_autoptr(GError) error = nullptr;
  if (!g_spawn_async(nullptr, argv + i + 1, envp.data(),
                     static_cast<GSpawnFlags>(G_SPAWN_SEARCH_PATH | G_SPAWN_DO_NOT_REAP_CHILD |
                                              G_SPAWN_CHILD_INHERITS_STDIN),
                     nullptr, nullptr, &program, &error)) {
    fprintf(stderr, "qx-desktop: %s\n", error->message);
    return 1;
  }

  DialogDriver user(desktop.Environment(), kind);
  Program running(program);
  bool stepsDone = true;
  for (size_t n = 0; n < steps.size() && stepsDone; ++n) {
    if (const auto failure = Perform(user, running, steps[n])) {
      stepsDone = false;
      fprintf(stderr, "qx-desktop: step %zu (%s \"%s\") failed: %s\n", n + 1,
              steps[n].action.c_str(), steps[n].title.c_str(), failure->c_str());
    }
  }

  const int status = running.Wait();
  if (!WIFEXITED(status))
    return 1;
  return WEXITSTATUS(status) != 0 ? WEXITSTATUS(status) : stepsDone ? 0 : 1;
}
