// Answers dialogs on a virtual display the way a user would, with the
// keyboard and the mouse (xdotool). Every wait is bounded; a key is sent
// only after something observable shows the dialog is ready for it.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

class DialogDriver {
 public:
  // `environment` holds at least DISPLAY.
  explicit DialogDriver(std::map<std::string, std::string> environment);

  // The id of a shown window whose title is exactly `title`, nullopt when
  // none appeared within `timeoutMs`.
  std::optional<std::string> WaitForWindow(const std::string& title, int timeoutMs);
  // True once the window is no longer shown.
  bool WaitForWindowGone(const std::string& window, int timeoutMs);
  // The window's title as the toolkit set it (UTF-8).
  std::string WindowTitle(const std::string& window);
  // True when a window manager would keep the window above others.
  bool IsKeptAbove(const std::string& window);

  // Gives the window the keyboard focus; without a window manager nothing
  // else would.
  bool Focus(const std::string& window);
  // Key chords in xdotool's names ("ctrl+l", "Return", "alt+c").
  bool Key(const std::string& chords);
  bool Type(const std::string& text);
  // A click at a point given as fractions of the window's size.
  bool Click(const std::string& window, double x, double y);
  // Waits until the window's contents changed from `before` (when given) and
  // then stayed the same for a moment, the sign that a folder has loaded.
  bool WaitUntilSettled(const std::string& window, const std::optional<std::string>& before,
                        int timeoutMs);
  // A digest of the window's pixels, nullopt when it could not be read.
  std::optional<std::string> Snapshot(const std::string& window);
  // The whole screen as a PNG file, for looking at a failure.
  bool Screenshot(const std::string& path);

  // In an open panel: enters `folder`, selects every item shown in it and
  // presses the confirming button (its shortcut is alt + its first letter).
  bool ChooseAllInFolder(const std::string& window, const std::string& folder,
                         const std::string& confirmChord);
  // In an open panel: types `path` into the location field and confirms it.
  bool ChoosePath(const std::string& window, const std::string& path);

  // Types `path` into the location field and presses Return.
  bool TypeLocation(const std::string& window, const std::string& path);

  // What went wrong last, for a failure message.
  const std::string& LastError() const { return mLastError; }

 private:
  std::optional<std::string> Run(const std::vector<std::string>& argv, int timeoutMs = 10000);

  bool Fail(const std::string& what);

  std::map<std::string, std::string> mEnvironment;
  std::string mLastError;
};
