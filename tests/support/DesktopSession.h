// What a GTK program needs to run in a test without touching the user's
// desktop: a private session bus, a scratch home with its XDG folders and
// settings, and no accessibility bridge. Everything it starts ends with it.
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <string>

#include "tests/support/ChildProcess.h"

class DesktopSession {
 public:
  // `display` holds the variables of the display server the session uses.
  explicit DesktopSession(std::map<std::string, std::string> display)
      : mEnvironment(std::move(display)) {
    char pattern[] = "/tmp/qx-desktop-XXXXXX";
    mRoot = mkdtemp(pattern) != nullptr ? pattern : "";
    const std::string home = mRoot + "/home";
    for (const char* folder :
         {"/.config/gtk-3.0", "/.config/glib-2.0/settings", "/.local/share", "/.cache"})
      std::filesystem::create_directories(home + folder);
    std::filesystem::create_directories(mRoot + "/runtime");
    std::filesystem::permissions(mRoot + "/runtime", std::filesystem::perms::owner_all);
    // Windows whose pixels hold still once drawn, which the dialog driver
    // waits for: no blinking cursor, no animations. GTK reads that from its
    // settings file on X11 and from GSettings on Wayland.
    std::ofstream(home + "/.config/gtk-3.0/settings.ini")
        << "[Settings]\ngtk-cursor-blink = false\ngtk-enable-animations = false\n";
    std::ofstream(home + "/.config/glib-2.0/settings/keyfile")
        << "[org/gnome/desktop/interface]\ncursor-blink=false\nenable-animations=false\n";
    mEnvironment.insert({{"HOME", home},
                         {"XDG_CONFIG_HOME", home + "/.config"},
                         {"XDG_DATA_HOME", home + "/.local/share"},
                         {"XDG_CACHE_HOME", home + "/.cache"},
                         {"XDG_RUNTIME_DIR", mRoot + "/runtime"},
                         {"NO_AT_BRIDGE", "1"},
                         // Settings in the scratch home, never the user's.
                         {"GSETTINGS_BACKEND", "keyfile"},
                         // No GVfs daemons: local files are all the dialogs need.
                         {"GIO_USE_VFS", "local"},
                         {"GIO_USE_VOLUME_MONITOR", "unix"}});
    std::string address;
    mBusPid = mRoot.empty() ? -1 : StartBusDaemon({"--session"}, mEnvironment, 10000, address);
    mEnvironment["DBUS_SESSION_BUS_ADDRESS"] = address;
    EXPECT_TRUE(Ok()) << "the private session bus did not start";
  }
  ~DesktopSession() {
    StopChild(mBusPid);
    std::error_code ignored;
    if (!mRoot.empty())
      std::filesystem::remove_all(mRoot, ignored);
  }

  DesktopSession(const DesktopSession&) = delete;
  DesktopSession& operator=(const DesktopSession&) = delete;

  bool Ok() const { return mBusPid > 0; }
  const std::string& BusAddress() const { return mEnvironment.at("DBUS_SESSION_BUS_ADDRESS"); }
  // The variables to give a program of this session.
  const std::map<std::string, std::string>& Environment() const { return mEnvironment; }

 private:
  std::string mRoot;
  pid_t mBusPid = -1;
  std::map<std::string, std::string> mEnvironment;
};
