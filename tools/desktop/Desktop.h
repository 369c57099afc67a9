// A desktop of its own for GTK programs, touching nothing of the user's: a
// display server (Xvfb on a free display number, or sway on its headless
// backend with no X server beside it, so that GTK has only its Wayland
// backend), a private session bus, and a scratch home with its XDG folders
// and settings. Ready when made; everything it started ends with it.
#pragma once

#include <optional>
#include <string>

#include "tools/desktop/PrivateBus.h"
#include "tools/desktop/Spawn.h"

enum class DesktopKind { kX11, kWayland };

class Desktop {
 public:
  explicit Desktop(DesktopKind kind = DesktopKind::kX11);
  ~Desktop();
  Desktop(const Desktop&) = delete;
  Desktop& operator=(const Desktop&) = delete;

  // How long the desktop may take to start.
  static constexpr int kStartMs = 30000;

  bool Ok() const { return mBus.Ok() && !mEnvironment.empty(); }
  // The variables to give a program of this desktop: its display (DISPLAY,
  // or WAYLAND_DISPLAY and sway's IPC socket SWAYSOCK), home and bus.
  const Variables& Environment() const { return mEnvironment; }
  PrivateBus& Bus() { return mBus; }

 private:
  bool StartX11();
  bool StartWayland();
  // True when sway answers the IPC query `type` with text holding `fragment`.
  bool Sway(const std::string& type, const std::string& fragment) const;

  std::string mRoot;
  PrivateBus mBus;
  std::optional<Child> mServer, mKeyboard;
  Variables mEnvironment;
};
