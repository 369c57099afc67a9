// The dialog driver on an X display, with what only X shows. There is no
// window manager: the driver gives the focus itself.
#pragma once

#include "tests/support/DialogDriver.h"

class X11DialogDriver : public DialogDriver {
 public:
  explicit X11DialogDriver(std::map<std::string, std::string> environment)
      : DialogDriver(DesktopKind::kX11, std::move(environment)) {}

  // True when a window manager would keep the window above others: before
  // one takes over, that wish is in the client's own state property.
  bool IsKeptAbove(const std::string& window) {
    auto state = Run({"xprop", "-id", window, "_NET_WM_STATE"});
    return state && state->find("_NET_WM_STATE_ABOVE") != std::string::npos;
  }
};
