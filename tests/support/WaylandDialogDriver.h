// The dialog driver under sway: windows come from its IPC tree, keys from
// wtype and pixels from grim. sway gives a new window the focus by itself.
#pragma once

#include <json-c/json.h>

#include <functional>

#include "tests/support/DialogDriver.h"

class WaylandDialogDriver : public DialogDriver {
 public:
  // `environment` holds at least WAYLAND_DISPLAY and SWAYSOCK.
  explicit WaylandDialogDriver(std::map<std::string, std::string> environment);

  bool Focus(const std::string& window) override;
  bool Key(const std::string& chord) override;
  bool Type(const std::string& text) override;
  std::optional<std::string> Snapshot(const std::string& window) override;
  bool Screenshot(const std::string& path) override;

 protected:
  std::optional<std::string> FindWindow(const std::string& title) override;
  bool IsShown(const std::string& window) override;
  // The list has the keyboard once the location field closes; a headless
  // seat has no pointer to click with.
  bool FocusFileList(const std::string&) override { return true; }

 private:
  struct Window {
    std::string id;
    std::string geometry;  // as grim takes it: "x,y widthxheight"
  };
  // The first shown window of sway's tree for which `match` holds.
  std::optional<Window> Find(const std::function<bool(json_object*)>& match);
  bool Wtype(std::vector<std::string> args, int timeoutMs = 10000);
};
