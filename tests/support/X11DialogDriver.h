// The dialog driver on an X display, through xdotool, xprop and ImageMagick.
// There is no window manager: the driver gives the focus itself.
#pragma once

#include "tests/support/DialogDriver.h"

class X11DialogDriver : public DialogDriver {
 public:
  // `environment` holds at least DISPLAY.
  explicit X11DialogDriver(std::map<std::string, std::string> environment);

  // True when a window manager would keep the window above others.
  bool IsKeptAbove(const std::string& window);

  bool Focus(const std::string& window) override;
  bool Key(const std::string& chord) override;
  bool Type(const std::string& text) override;
  std::optional<std::string> Snapshot(const std::string& window) override;
  bool Screenshot(const std::string& path) override;

 protected:
  std::optional<std::string> FindWindow(const std::string& title) override;
  bool IsShown(const std::string& window) override;
  // A click into the list, which also closes a completion popup of the
  // location field that would take the keys.
  bool FocusFileList(const std::string& window) override { return Click(window, 0.6, 0.45); }

 private:
  // A click at a point given as fractions of the window's size.
  bool Click(const std::string& window, double x, double y);
  // The window's title as the toolkit set it (UTF-8).
  std::string WindowTitle(const std::string& window);
};
