#include "tools/desktop/Desktop.h"

#include <stdlib.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>

Desktop::Desktop(DesktopKind kind) {
  char pattern[] = "/tmp/qx-desktop-XXXXXX";
  if (mkdtemp(pattern) == nullptr)
    return;
  mRoot = pattern;
  const std::string home = mRoot + "/home";
  for (const char* folder :
       {"/.config/gtk-3.0", "/.config/glib-2.0/settings", "/.local/share", "/.cache", "/run"})
    std::filesystem::create_directories(home + folder);
  std::filesystem::permissions(home + "/run", std::filesystem::perms::owner_all);
  // Windows whose pixels hold still once drawn, which the scripted user waits
  // for: no blinking cursor, no animations. GTK reads that from its settings
  // file on X11 and from GSettings on Wayland. File panels open in the
  // program's working folder.
  std::ofstream(home + "/.config/gtk-3.0/settings.ini")
      << "[Settings]\ngtk-cursor-blink = false\ngtk-enable-animations = false\n";
  std::ofstream(home + "/.config/glib-2.0/settings/keyfile")
      << "[org/gnome/desktop/interface]\ncursor-blink=false\nenable-animations=false\n"
      << "[org/gtk/settings/file-chooser]\nstartup-mode='cwd'\n";
  if (mBus.Ok() && (kind == DesktopKind::kWayland ? StartWayland() : StartX11()))
    mEnvironment.insert({{"HOME", home},
                         {"XDG_CONFIG_HOME", home + "/.config"},
                         {"XDG_DATA_HOME", home + "/.local/share"},
                         {"XDG_CACHE_HOME", home + "/.cache"},
                         {"XDG_RUNTIME_DIR", home + "/run"},
                         {"DBUS_SESSION_BUS_ADDRESS", mBus.Address()},
                         {"NO_AT_BRIDGE", "1"},
                         // Settings in the scratch home, never the user's.
                         {"GSETTINGS_BACKEND", "keyfile"},
                         // No GVfs daemons: local files are all the dialogs need.
                         {"GIO_USE_VFS", "local"},
                         {"GIO_USE_VOLUME_MONITOR", "unix"}});
}

Desktop::~Desktop() {
  mKeyboard.reset();
  mServer.reset();
  std::error_code ignored;
  if (!mRoot.empty())
    std::filesystem::remove_all(mRoot, ignored);
}

bool Desktop::StartX11() {
  const std::string number = StartReporting(
      mServer, {"Xvfb", "-displayfd", "3", "-screen", "0", "1280x1024x24", "-nolisten", "tcp"}, {},
      mRoot + "/display", kStartMs);
  if (!number.empty())
    mEnvironment = {{"DISPLAY", ":" + number}};
  return !number.empty();
}

bool Desktop::StartWayland() {
  // No X server, and no key bindings of sway's own to catch keys.
  std::ofstream(mRoot + "/config") << "xwayland disable\n";
  std::vector<std::string> argv = {"sway", "-c", mRoot + "/config"};
  // sway refuses to run as root; in a user namespace of its own it is not.
  if (geteuid() == 0)
    argv.insert(argv.begin(), {"unshare", "-U"});
  Variables environment = {{"SWAYSOCK", mRoot + "/ipc"}};
  mServer.emplace(argv, Variables{{"XDG_RUNTIME_DIR", mRoot},
                                  {"SWAYSOCK", mRoot + "/ipc"},
                                  {"WLR_BACKENDS", "headless"},
                                  {"WLR_LIBINPUT_NO_DEVICES", "1"},
                                  {"WLR_RENDERER", "pixman"}});
  if (!mServer->Ok() ||
      !PollUntil(kStartMs, [&] { return Sway("get_outputs", "\"active\": true"); }))
    return false;
  for (const auto& entry : std::filesystem::directory_iterator(mRoot))
    if (entry.is_socket() && entry.path().filename().string().rfind("wayland-", 0) == 0)
      environment["WAYLAND_DISPLAY"] = entry.path();
  // A headless seat has a keyboard only while one exists, and the first key
  // after it gains one is lost: one virtual keyboard lives as long as sway.
  mKeyboard.emplace(std::vector<std::string>{"wtype", "-s", "3600000"}, environment);
  if (!environment.count("WAYLAND_DISPLAY") || !mKeyboard->Ok() ||
      !PollUntil(kStartMs, [&] { return Sway("get_inputs", "\"type\": \"keyboard\""); }))
    return false;
  mEnvironment = environment;
  return true;
}

bool Desktop::Sway(const std::string& type, const std::string& fragment) const {
  const ChildResult answer =
      RunChild({"swaymsg", "-s", mRoot + "/ipc", "-r", "-t", type}, {}, 5000);
  return answer.exitCode == 0 && answer.output.find(fragment) != std::string::npos;
}
