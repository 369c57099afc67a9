// A display server of the test's own: Xvfb on a free display number, or sway
// on its headless backend with no X server beside it, so that GTK has only
// its Wayland backend to use. Ready when made, stopped when destroyed.
#pragma once

#include <fcntl.h>
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>

#include "tests/support/ChildProcess.h"

enum class DesktopKind { kX11, kWayland };

class VirtualDisplay {
 public:
  // A failure to start fails the test and leaves Ok() false.
  explicit VirtualDisplay(DesktopKind kind = DesktopKind::kX11) {
    char pattern[] = "/tmp/qx-display-XXXXXX";
    mRoot = mkdtemp(pattern) != nullptr ? pattern : "";
    if (!mRoot.empty())
      kind == DesktopKind::kWayland ? StartWayland() : StartX11();
    EXPECT_TRUE(Ok()) << "the virtual display did not start within " << kStartMs << " ms";
  }
  ~VirtualDisplay() {
    StopChild(mKeyboard);
    StopChild(mServer);
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }

  VirtualDisplay(const VirtualDisplay&) = delete;
  VirtualDisplay& operator=(const VirtualDisplay&) = delete;

  bool Ok() const { return !mEnvironment.empty(); }
  // The variables that send a program's windows here: DISPLAY, or
  // WAYLAND_DISPLAY and sway's IPC socket SWAYSOCK.
  const std::map<std::string, std::string>& Environment() const { return mEnvironment; }

 private:
  static constexpr int kStartMs = 30000;

  void StartX11() {
    // Xvfb writes the display number it took once it accepts clients. Not
    // close-on-exec: the file may get descriptor 3, which the child keeps as is.
    const std::string numberFile = mRoot + "/display";
    const int fd = open(numberFile.c_str(), O_WRONLY | O_CREAT, 0600);
    mServer = SpawnChild(
        {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {}, fd);
    close(fd);
    std::string number;
    if (mServer > 0 && PollUntil(kStartMs, [&] {
          std::ifstream in(numberFile);
          number.assign(std::istreambuf_iterator<char>(in), {});
          return !number.empty() && number.back() == '\n';
        }))
      mEnvironment = {{"DISPLAY", ":" + number.substr(0, number.size() - 1)}};
  }

  void StartWayland() {
    // No X server, and no key bindings of sway's own to catch keys.
    std::ofstream(mRoot + "/config") << "xwayland disable\n";
    std::vector<std::string> argv = {"sway", "-c", mRoot + "/config"};
    // sway refuses to run as root; in a user namespace of its own it is not.
    if (geteuid() == 0)
      argv.insert(argv.begin(), {"unshare", "-U"});
    std::map<std::string, std::string> environment = {{"SWAYSOCK", mRoot + "/ipc"}};
    mServer = SpawnChild(argv, {{"XDG_RUNTIME_DIR", mRoot},
                                {"SWAYSOCK", mRoot + "/ipc"},
                                {"WLR_BACKENDS", "headless"},
                                {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                {"WLR_RENDERER", "pixman"}});
    if (mServer <= 0 ||
        !PollUntil(kStartMs, [&] { return Sway("get_outputs", "\"active\": true"); }))
      return;
    for (const auto& entry : std::filesystem::directory_iterator(mRoot))
      if (entry.is_socket() && entry.path().filename().string().rfind("wayland-", 0) == 0)
        environment["WAYLAND_DISPLAY"] = entry.path();
    // A headless seat has a keyboard only while one exists, and the first key
    // after it gains one is lost: one virtual keyboard lives as long as sway.
    mKeyboard = SpawnChild({"wtype", "-s", "3600000"}, environment);
    if (environment.count("WAYLAND_DISPLAY") && mKeyboard > 0 &&
        PollUntil(kStartMs, [&] { return Sway("get_inputs", "\"type\": \"keyboard\""); }))
      mEnvironment = environment;
  }

  // True when sway answers the IPC query `type` with text holding `fragment`.
  bool Sway(const std::string& type, const std::string& fragment) const {
    const ChildResult answer =
        RunChild({"swaymsg", "-s", mRoot + "/ipc", "-r", "-t", type}, {}, 5000);
    return answer.exitCode == 0 && answer.output.find(fragment) != std::string::npos;
  }

  std::string mRoot;
  pid_t mServer = -1;
  pid_t mKeyboard = -1;
  std::map<std::string, std::string> mEnvironment;
};
