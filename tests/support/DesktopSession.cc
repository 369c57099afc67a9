#include "tests/support/DesktopSession.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>

#include "tests/support/ChildProcess.h"

namespace {

constexpr int kBusStartTimeoutMs = 10000;

}  // namespace

DesktopSession::DesktopSession(std::map<std::string, std::string> display)
    : mDisplay(std::move(display)) {
  char pattern[] = "/tmp/qx-desktop-XXXXXX";
  if (mkdtemp(pattern) == nullptr) {
    ADD_FAILURE() << "mkdtemp: " << strerror(errno);
    return;
  }
  mRoot = pattern;
  mHome = mRoot + "/home";
  for (const char* folder :
       {"/home", "/home/.config", "/home/.local/share", "/home/.cache", "/runtime"})
    std::filesystem::create_directories(mRoot + folder);
  std::filesystem::permissions(mRoot + "/runtime", std::filesystem::perms::owner_all);
  // A window whose pixels hold still once it is drawn: no blinking cursor,
  // no animations. The dialog driver waits for exactly that. GTK reads this
  // from its settings file on X11 and from GSettings on Wayland.
  std::filesystem::create_directories(mHome + "/.config/gtk-3.0");
  std::ofstream(mHome + "/.config/gtk-3.0/settings.ini")
      << "[Settings]\ngtk-cursor-blink = false\ngtk-enable-animations = false\n";
  std::filesystem::create_directories(mHome + "/.config/glib-2.0/settings");
  std::ofstream(mHome + "/.config/glib-2.0/settings/keyfile")
      << "[org/gnome/desktop/interface]\ncursor-blink=false\nenable-animations=false\n";

  mBusPid =
      StartBusDaemon({"--session"}, {{"HOME", mHome}, {"XDG_RUNTIME_DIR", mRoot + "/runtime"}},
                     kBusStartTimeoutMs, mBusAddress);
  if (mBusAddress.empty())
    ADD_FAILURE() << "the private session bus did not start";
}

DesktopSession::~DesktopSession() {
  StopChild(mBusPid);
  if (!mRoot.empty()) {
    std::error_code ignored;
    std::filesystem::remove_all(mRoot, ignored);
  }
}

std::map<std::string, std::string> DesktopSession::Environment() const {
  std::map<std::string, std::string> environment = mDisplay;
  environment.insert({
      {"DBUS_SESSION_BUS_ADDRESS", mBusAddress},
      {"HOME", mHome},
      {"XDG_CONFIG_HOME", mHome + "/.config"},
      {"XDG_DATA_HOME", mHome + "/.local/share"},
      {"XDG_CACHE_HOME", mHome + "/.cache"},
      {"XDG_RUNTIME_DIR", mRoot + "/runtime"},
      {"NO_AT_BRIDGE", "1"},
      // Settings in the scratch home, never the user's.
      {"GSETTINGS_BACKEND", "keyfile"},
      // No GVfs daemons: local files are all the dialogs need.
      {"GIO_USE_VFS", "local"},
      {"GIO_USE_VOLUME_MONITOR", "unix"},
  });
  return environment;
}
