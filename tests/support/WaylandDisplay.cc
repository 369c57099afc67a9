#include "tests/support/WaylandDisplay.h"

#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/ChildProcess.h"

namespace fs = std::filesystem;

namespace {

constexpr int kStartTimeoutMs = 30000;

}  // namespace

WaylandDisplay::WaylandDisplay() {
  char pattern[] = "/tmp/qx-wayland-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  mRoot = pattern;
  // No X server for anyone, and no key bindings of sway's own to catch keys.
  std::ofstream(mRoot + "/config") << "xwayland disable\n";

  std::vector<std::string> argv = {"sway", "-c", mRoot + "/config"};
  // sway refuses to run as root; in a user namespace of its own it is not.
  if (geteuid() == 0)
    argv.insert(argv.begin(), {"unshare", "-U"});
  mCompositorPid = SpawnChild(argv, {{"XDG_RUNTIME_DIR", mRoot},
                                     {"SWAYSOCK", mRoot + "/ipc"},
                                     {"WLR_BACKENDS", "headless"},
                                     {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                     {"WLR_RENDERER", "pixman"}});
  if (mCompositorPid <= 0 ||
      !PollUntil(kStartTimeoutMs, [&] { return Query("get_outputs", "\"active\": true"); })) {
    ADD_FAILURE() << "sway did not start an output within " << kStartTimeoutMs << " ms";
    return;
  }
  for (const auto& entry : fs::directory_iterator(mRoot)) {
    if (entry.is_socket() && entry.path().filename().string().rfind("wayland-", 0) == 0)
      mSocket = entry.path();
  }
  if (mSocket.empty()) {
    ADD_FAILURE() << "sway made no Wayland socket in " << mRoot;
    return;
  }

  const pid_t keyboard = SpawnChild({"wtype", "-s", "3600000"}, Environment());
  if (keyboard <= 0 ||
      !PollUntil(kStartTimeoutMs, [&] { return Query("get_inputs", "\"type\": \"keyboard\""); })) {
    StopChild(keyboard);
    ADD_FAILURE() << "no virtual keyboard within " << kStartTimeoutMs << " ms";
    return;
  }
  mKeyboardPid = keyboard;
}

WaylandDisplay::~WaylandDisplay() {
  StopChild(mKeyboardPid);
  StopChild(mCompositorPid);
  if (!mRoot.empty()) {
    std::error_code ignored;
    fs::remove_all(mRoot, ignored);
  }
}

std::map<std::string, std::string> WaylandDisplay::Environment() const {
  return {{"WAYLAND_DISPLAY", mSocket}, {"SWAYSOCK", mRoot + "/ipc"}};
}

// True when sway answers the IPC query `type` with text holding `fragment`.
bool WaylandDisplay::Query(const std::string& type, const std::string& fragment) const {
  const ChildResult answer =
      RunChild({"swaymsg", "-s", mRoot + "/ipc", "-r", "-t", type}, {}, 5000);
  return answer.exitCode == 0 && answer.output.find(fragment) != std::string::npos;
}
