// Answers dialogs the way a user would, with the keyboard: on an X display
// through xdotool, under a Wayland compositor through its IPC and a virtual
// keyboard. Every wait is bounded; a key is sent only after something
// observable shows the dialog is ready for it.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tests/support/DisplayServer.h"

class DialogDriver {
 public:
  // `environment` holds at least the display server's variables.
  static std::unique_ptr<DialogDriver> For(DesktopKind kind,
                                           std::map<std::string, std::string> environment);
  virtual ~DialogDriver() = default;

  // The id of a shown window whose title is exactly `title`, nullopt when
  // none appeared within `timeoutMs`.
  std::optional<std::string> WaitForWindow(const std::string& title, int timeoutMs);
  // True once the window is no longer shown.
  bool WaitForWindowGone(const std::string& window, int timeoutMs);

  // Gives the window the keyboard focus.
  virtual bool Focus(const std::string& window) = 0;
  // One key chord in xdotool's names ("ctrl+l", "Return", "alt+c").
  virtual bool Key(const std::string& chord) = 0;
  virtual bool Type(const std::string& text) = 0;
  // Waits until the window's contents changed from `before` (when given) and
  // then stayed the same for a moment, the sign that a folder has loaded.
  bool WaitUntilSettled(const std::string& window, const std::optional<std::string>& before,
                        int timeoutMs);
  // A digest of the window's pixels, nullopt when it could not be read.
  virtual std::optional<std::string> Snapshot(const std::string& window) = 0;
  // The whole screen as a PNG file, for looking at a failure.
  virtual bool Screenshot(const std::string& path) = 0;

  // In an open panel: enters `folder`, selects every item shown in it and
  // presses the confirming button (its shortcut is alt + its first letter).
  bool ChooseAllInFolder(const std::string& window, const std::string& folder,
                         const std::string& confirmChord);
  // In an open panel: types `path` into the location field and confirms it.
  bool ChoosePath(const std::string& window, const std::string& path);

  // What went wrong last, for a failure message.
  const std::string& LastError() const { return mLastError; }

 protected:
  explicit DialogDriver(std::map<std::string, std::string> environment);

  // The id of a window shown now with exactly this title.
  virtual std::optional<std::string> FindWindow(const std::string& title) = 0;
  virtual bool IsShown(const std::string& window) = 0;
  // Leaves the keyboard to the file list of an open panel that has just
  // entered a folder.
  virtual bool FocusFileList(const std::string& window) = 0;

  // Types `path` into the location field and presses Return. Gives the
  // window's snapshot from just before Return, nullopt on a failure.
  std::optional<std::string> TypeLocation(const std::string& window, const std::string& path);
  std::optional<std::string> Run(const std::vector<std::string>& argv, int timeoutMs = 10000);
  // A digest of what the shell command `pixels` writes, run with `arg` as $0.
  std::optional<std::string> Digest(const std::string& pixels, const std::string& arg);
  bool Fail(const std::string& what);

 private:
  std::map<std::string, std::string> mEnvironment;
  std::string mLastError;
};
