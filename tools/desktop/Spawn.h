// Helper programs that a private desktop and its scripted user start and end
// again (Xvfb, sway, dbus-daemon, xdotool), spawned by GLib with the
// environment changed: each in a process group of its own, so that ending it
// ends what it started, and killed when the process that started it dies.
// Every wait is bounded.
#pragma once

#include <glib.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

using Variables = std::map<std::string, std::string>;

// A helper that runs until this object goes, then is killed with its group.
class Child {
 public:
  // `extraFd`, when not -1, becomes the child's descriptor 3.
  Child(const std::vector<std::string>& argv, const Variables& environment, int extraFd = -1);
  ~Child();
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
ChildResult RunChild(std::vector<std::string> argv, const Variables& environment, int timeoutMs);

// Calls `done` every 100 ms until it returns true (then true) or `timeoutMs`
// has passed (then false): for the state of a helper that only it can tell.
bool PollUntil(int timeoutMs, const std::function<bool()>& done);

// Starts `argv` as `child` with its descriptor 3 on the file `path`, where it
// writes a line once it is ready (Xvfb its display number, dbus-daemon its
// address): that line, or "" when none came within `timeoutMs`.
std::string StartReporting(std::optional<Child>& child, const std::vector<std::string>& argv,
                           const Variables& environment, const std::string& path, int timeoutMs);
