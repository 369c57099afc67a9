// Answers dialogs the way a user would, with the keyboard: on an X display
// through xdotool, under sway through its IPC and wtype. Every wait is
// bounded; a key is sent only after the screen shows the dialog ready for it.
#pragma once

#include <chrono>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "tests/support/ChildProcess.h"
#include "tests/support/Desktop.h"

class DialogDriver {
 public:
  // `environment` holds at least the display's variables.
  explicit DialogDriver(Variables environment, DesktopKind kind = DesktopKind::kX11)
      : mWayland(kind == DesktopKind::kWayland), mEnvironment(std::move(environment)) {
    // xprop prints UTF-8 titles as they are only in a UTF-8 locale.
    mEnvironment["LC_ALL"] = "C.UTF-8";
  }

  // The id of a shown window titled exactly `title` (under sway the title
  // itself); nullopt when none appeared within `timeoutMs`.
  std::optional<std::string> WaitForWindow(const std::string& title, int timeoutMs) {
    std::optional<std::string> found;
    if (!PollUntil(timeoutMs, [&] { return (found = FindWindow(title)).has_value(); }))
      Fail("no window titled \"" + title + "\"");
    return found;
  }
  bool WaitForWindowGone(const std::string& window, int timeoutMs) {
    return PollUntil(timeoutMs, [&] { return !IsShown(window); }) || Fail(window + " still shown");
  }

  bool Focus(const std::string& window) {
    return (mWayland ? Run({"swaymsg", Titled(window), "focus"})
                     : Run({"xdotool", "windowfocus", "--sync", window}))
        .has_value();
  }
  // One key chord in xdotool's names ("ctrl+l", "Return", "alt+c").
  bool Key(const std::string& chord) {
    if (!mWayland)
      return Run({"xdotool", "key", "--clearmodifiers", "--delay", "60", chord}).has_value();
    std::vector<std::string> modifiers, args = {"wtype"};
    size_t start = 0;
    for (size_t plus; (plus = chord.find('+', start)) != std::string::npos; start = plus + 1)
      modifiers.push_back(chord.substr(start, plus - start));
    for (const auto& modifier : modifiers)
      args.insert(args.end(), {"-M", modifier});
    args.insert(args.end(), {"-k", chord.substr(start)});
    for (auto modifier = modifiers.rbegin(); modifier != modifiers.rend(); ++modifier)
      args.insert(args.end(), {"-m", *modifier});
    return Run(WithSpareKey(args)).has_value();
  }

  // In an open panel, showing the folder it opened in: selects every item
  // and presses the confirming button (its shortcut: alt + its first letter).
  bool ChooseAll(const std::string& window, const std::string& confirmChord) {
    // The folder's rows may still be on their way on a busy machine: wait for
    // the selection to show, then select again, so rows that came after the
    // first press are picked too.
    const auto shown = ReadyPanel(window) ? Snapshot() : std::nullopt;
    if (!shown || !Key("ctrl+a") || !WaitUntilSettled(shown))
      return Fail("nothing selected");
    return (Key("ctrl+a") && Key(confirmChord)) || Fail("selecting and confirming");
  }
  // In an open panel: types `path` into the location field and confirms it.
  bool ChoosePath(const std::string& window, const std::string& path) {
    return (ReadyPanel(window) && TypeLocation(path)) || Fail("typing the path");
  }

  // What went wrong last, for a failure message.
  const std::string& LastError() const { return mLastError; }

 private:
  // How long the pixels must stay unchanged to count as settled.
  static constexpr auto kQuiet = std::chrono::milliseconds(700);
  // How long a panel may take to draw itself or a folder on a loaded machine.
  static constexpr int kSettleTimeoutMs = 30000;

  // Runs a helper to its end; its output, nullopt (with the reason kept) when it failed.
  std::optional<std::string> Run(const std::vector<std::string>& argv, int timeoutMs = 60000) {
    ChildResult result = RunChild(argv, mEnvironment, timeoutMs);
    if (result.exitCode == 0)
      return result.output;
    mLastError = argv[0] + " " + argv[1] + ": exit code " + std::to_string(result.exitCode);
    return std::nullopt;
  }

  // sway's criteria for a window by its title, taken as a regular
  // expression: the dialogs' titles hold no character special to one.
  static std::string Titled(const std::string& title) { return "[title=\"^" + title + "$\"]"; }

  // GTK never matches a key binding on the highest keycode of a keymap, and
  // wtype's keymap holds only the keys it types: one more key, never
  // pressed, comes last.
  static std::vector<std::string> WithSpareKey(std::vector<std::string> args) {
    args.insert(args.end(), {"-p", "VoidSymbol"});
    return args;
  }

  std::optional<std::string> FindWindow(const std::string& title) {
    if (mWayland)
      return IsShown(title) ? std::optional<std::string>(title) : std::nullopt;
    std::istringstream lines(Run({"sh", "-c",
                                  "for id in $(xdotool search --onlyvisible --name ''); do "
                                  "printf '%s ' $id; xprop -id $id _NET_WM_NAME; done"})
                                 .value_or(""));
    const std::string ending = "= \"" + title + "\"";
    for (std::string line; std::getline(lines, line);)
      if (line.size() > ending.size() &&
          line.compare(line.size() - ending.size(), ending.size(), ending) == 0)
        return line.substr(0, line.find(' '));
    return std::nullopt;
  }
  bool IsShown(const std::string& window) {
    if (mWayland)
      return RunChild({"swaymsg", Titled(window), "nop"}, mEnvironment, 10000).exitCode == 0;
    auto state = Run({"xwininfo", "-id", window});
    return state && state->find("IsViewable") != std::string::npos;
  }

  // A digest of the screen's pixels; nullopt when they could not be read.
  std::optional<std::string> Snapshot() {
    return Run(
        {"sh", "-c",
         mWayland ? "grim -t ppm - | md5sum" : "import -silent -window root rgb:- | md5sum"});
  }
  // Waits until the screen changed from `before` (when given) and then held
  // still for a moment: the sign that a panel has drawn a folder.
  bool WaitUntilSettled(const std::optional<std::string>& before) {
    std::optional<std::string> last;
    auto stableSince = std::chrono::steady_clock::now();
    return PollUntil(kSettleTimeoutMs, [&] {
      auto now = Snapshot();
      if (!now || (before && *now == *before))
        return false;
      if (!last || *now != *last) {
        last = now;
        stableSince = std::chrono::steady_clock::now();
        return false;
      }
      return std::chrono::steady_clock::now() - stableSince >= kQuiet;
    });
  }
  bool ReadyPanel(const std::string& window) {
    return (Focus(window) && WaitUntilSettled(std::nullopt)) || Fail("panel never settled");
  }
  // Types `path` into the location field and presses Return; the snapshot
  // from just before Return. The field completes names as they are typed;
  // what it proposes is selected text that Delete removes, once it shows.
  std::optional<std::string> TypeLocation(const std::string& path) {
    if (!Key("ctrl+l") ||
        !(mWayland ? Run(WithSpareKey({"wtype", "-d", "20", path}))
                   : Run({"xdotool", "type", "--delay", "20", path})) ||
        !WaitUntilSettled(std::nullopt) || !Key("Delete"))
      return std::nullopt;
    auto before = Snapshot();
    return before && Key("Return") ? before : std::nullopt;
  }
  bool Fail(const std::string& what) {
    mLastError = what + (mLastError.empty() ? "" : " (" + mLastError + ")");
    return false;
  }

  const bool mWayland;
  Variables mEnvironment;
  std::string mLastError;
};
