// Answers dialogs the way a user would, with the keyboard: on an X display
// through xdotool, under sway through its IPC and wtype. Every wait is
// bounded; a key is sent only after the screen shows the dialog ready for it.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "tools/desktop/Desktop.h"
#include "tools/desktop/Spawn.h"

class DialogDriver {
 public:
  // `environment` holds at least the display's variables.
  explicit DialogDriver(Variables environment, DesktopKind kind = DesktopKind::kX11);

  // The id of a shown window titled exactly `title` (under sway the title
  // itself); nullopt when none appeared within `timeoutMs`.
  std::optional<std::string> WaitForWindow(const std::string& title, int timeoutMs);
  bool WaitForWindowGone(const std::string& window, int timeoutMs);

  bool Focus(const std::string& window);
  // One key chord in xdotool's names ("ctrl+l", "Return", "alt+c").
  bool Key(const std::string& chord);

  // In an open panel, showing the folder it opened in: selects every item
  // and presses the confirming button (its shortcut: alt + its first letter).
  bool ChooseAll(const std::string& window, const std::string& confirmChord);
  // In an open panel: types `path` into the location field and confirms it.
  bool ChoosePath(const std::string& window, const std::string& path);

  // What went wrong last, for a failure message.
  const std::string& LastError() const { return mLastError; }

 private:
  // Runs a helper to its end; its output, nullopt (with the reason kept) when it failed.
  std::optional<std::string> Run(const std::vector<std::string>& argv, int timeoutMs = 60000);
  std::optional<std::string> FindWindow(const std::string& title);
  bool IsShown(const std::string& window);
  // A digest of the screen's pixels; nullopt when they could not be read.
  std::optional<std::string> Snapshot();
  // Waits until the screen changed from `before` (when given) and then held
  // still for a moment: the sign that a panel has drawn a folder.
  bool WaitUntilSettled(const std::optional<std::string>& before);
  bool ReadyPanel(const std::string& window);
  std::optional<std::string> TypeLocation(const std::string& path);
  bool Fail(const std::string& what);

  const bool mWayland;
  Variables mEnvironment;
  std::string mLastError;
};
