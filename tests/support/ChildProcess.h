// Helper programs that tests start and must end again (Xvfb, dbus-daemon,
// xdotool): spawning with a bounded run, and stopping that cannot hang.
#pragma once

#include <sys/types.h>

#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

// Starts `argv` (looked up on PATH) with the test's environment changed by
// `environment`. `extraFd`, when not -1, becomes descriptor 3 of the child.
// Returns the pid, or -1.
pid_t SpawnChild(const std::vector<std::string>& argv,
                 const std::map<std::string, std::string>& environment, int extraFd = -1);

// SIGTERM to the child's process group, then SIGKILL when the child is still
// there after `graceMs`; reaps it. What it started and left behind is killed.
void StopChild(pid_t pid, int graceMs = 2000);

struct ChildResult {
  int exitCode = -1;   // -1: killed after the timeout, or not started
  std::string output;  // stdout
};

// Runs a program to its end, killed after `timeoutMs`.
ChildResult RunChild(const std::vector<std::string>& argv,
                     const std::map<std::string, std::string>& environment, int timeoutMs);

// Calls `done` every 100 ms until it returns true (then true) or `timeoutMs`
// has passed (then false): for the state of a helper that only it can tell.
bool PollUntil(int timeoutMs, const std::function<bool()>& done);

// Starts dbus-daemon with `configArgs` (which bus, which config) and waits up
// to `timeoutMs` for the address it listens on. Returns the pid, or -1 with
// `address` empty.
pid_t StartBusDaemon(const std::vector<std::string>& configArgs,
                     const std::map<std::string, std::string>& environment, int timeoutMs,
                     std::string& address);
